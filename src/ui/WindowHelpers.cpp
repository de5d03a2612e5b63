#include "ui/WindowHelpers.h"

#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QVariant>

namespace {

bool SizesToText(const QLabel& label)
{
    return label.property("autoSize").toBool();
}

// The width the style leaves for a button's caption.
int CaptionRoom(const QPushButton& button)
{
    QStyleOptionButton option;
    option.initFrom(&button);
    return button.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &button).width();
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

void SizeButtonsToText(QWidget& window)
{
    for (QPushButton* button : window.findChildren<QPushButton*>()) {
        if (button->text().isEmpty() || button->parentWidget() == nullptr) {
            continue;
        }
        const int missing =
            button->fontMetrics().horizontalAdvance(button->text()) + 2 * ButtonCaptionPadding - CaptionRoom(*button);
        if (missing <= 0) {
            continue;
        }
        const QRect was = button->geometry();
        const int third = button->parentWidget()->width() / 3;
        const int centre = was.center().x();
        int left = was.x() - missing / 2;
        if (centre < third) {
            left = was.x();
        } else if (centre >= 2 * third) {
            left = was.x() - missing;
        }
        button->setGeometry(left, was.y(), was.width() + missing, was.height());
    }
}
