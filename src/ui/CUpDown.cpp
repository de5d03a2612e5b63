#include "ui/CUpDown.h"

#include "conversion/Conversion.h"
#include "ui/Language.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include <algorithm>

using namespace quorvane;

namespace {

QToolButton* MakeArrow(QWidget* parent, Qt::ArrowType arrow)
{
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

CUpDown::CUpDown(QWidget* parent)
    : QWidget(parent), up_(MakeArrow(this, Qt::UpArrow)), down_(MakeArrow(this, Qt::DownArrow))
{
    up_->setAccessibleName(ShownMessage(MessageId::StepUp));
    down_->setAccessibleName(ShownMessage(MessageId::StepDown));
    connect(up_, &QToolButton::clicked, this, [this] { Step(1); });
    connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
}

void CUpDown::SetBuddy(QLineEdit* buddy)
{
    if (buddy_ != nullptr) {
        buddy_->removeEventFilter(this);
    }
    buddy_ = buddy;
    if (buddy_ != nullptr) {
        buddy_->installEventFilter(this);
    }
}

void CUpDown::SetMinimum(int value)
{
    minimum_ = value;
    maximum_ = std::max(maximum_, minimum_);
    position_ = std::clamp(position_, minimum_, maximum_);
}

void CUpDown::SetMaximum(int value)
{
    maximum_ = value;
    minimum_ = std::min(minimum_, maximum_);
    position_ = std::clamp(position_, minimum_, maximum_);
}

void CUpDown::SetPosition(int value)
{
    position_ = std::clamp(value, minimum_, maximum_);
}

void CUpDown::Step(int direction)
{
    int from = position_;
    if (buddy_ != nullptr) {
        if (const auto shown = TryStrToInt(buddy_->text().toUtf8().toStdString())) {
            from = std::clamp(*shown, minimum_, maximum_);
        }
    }
    const int to = std::clamp(from + direction, minimum_, maximum_);
    if (to == from) {
        position_ = from;
        return;
    }
    position_ = to;
    if (buddy_ != nullptr) {
        const QString text = QString::number(to);
        if (buddy_->text() != text) {
            buddy_->setText(text);
        }
    }
}

bool CUpDown::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == buddy_ && event->type() == QEvent::KeyPress && isEnabled()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
            if (key->key() == Qt::Key_Up) {
                Step(1);
                return true;
            }
            if (key->key() == Qt::Key_Down) {
                Step(-1);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CUpDown::resizeEvent(QResizeEvent* /*event*/)
{
    const int upper = height() / 2;
    up_->setGeometry(0, 0, width(), upper);
    down_->setGeometry(0, upper, width(), height() - upper);
}
