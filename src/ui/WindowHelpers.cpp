#include "ui/WindowHelpers.h"

#include <QLabel>
#include <QVariant>

namespace {

bool SizesToText(const QLabel& label)
{
    return label.property("autoSize").toBool();
}

} // namespace

void SizeLabelsToText(QWidget& window)
{
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (SizesToText(*label)) {
            label->adjustSize();
        }
    }
}

void SetLabelText(QLabel& label, const QString& text)
{
    label.setText(text);
    if (SizesToText(label)) {
        label.adjustSize();
    }
}
