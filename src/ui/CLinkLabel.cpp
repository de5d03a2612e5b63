#include "ui/CLinkLabel.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace {

class LinkAccessible : public QAccessibleWidget {
  public:
    explicit LinkAccessible(CLinkLabel* link) : QAccessibleWidget(link, QAccessible::Link) {}

    QString text(QAccessible::Text type) const override
    {
        const QString own = QAccessibleWidget::text(type);
        return type == QAccessible::Name && own.isEmpty() ? Link()->text() : own;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& action) override
    {
        if (action == pressAction()) {
            Link()->Activate();
        }
    }

  private:
    CLinkLabel* Link() const { return static_cast<CLinkLabel*>(widget()); }
};

QAccessibleInterface* LinkAccessibility(const QString& className, QObject* object)
{
    if (className == QLatin1String("CLinkLabel") && object != nullptr && object->isWidgetType()) {
        return new LinkAccessible(static_cast<CLinkLabel*>(object));
    }
    return nullptr;
}

} // namespace

CLinkLabel::CLinkLabel(QWidget* parent) : QLabel(parent)
{
    static const bool accessible = (QAccessible::installFactory(&LinkAccessibility), true);
    (void)accessible;
    // Reached with Tab like a button.
    setFocusPolicy(Qt::StrongFocus);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setCursor(Qt::PointingHandCursor);
    setTextFormat(Qt::PlainText);
    SetHot(false);
}

void CLinkLabel::SetHot(bool hot)
{
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, hot ? HoverColour() : LinkColour());
    setPalette(colours);
}

void CLinkLabel::enterEvent(QEnterEvent* event)
{
    SetHot(true);
    QLabel::enterEvent(event);
}

void CLinkLabel::leaveEvent(QEvent* event)
{
    SetHot(false);
    QLabel::leaveEvent(event);
}

void CLinkLabel::mousePressEvent(QMouseEvent* event)
{
    pressed_ = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void CLinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click) {
        emit Clicked();
    }
}

void CLinkLabel::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space) {
        event->accept();
        emit Clicked();
        return;
    }
    QLabel::keyPressEvent(event);
}

void CLinkLabel::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    // The focus shows as the style's focus frame around the text.
    if (hasFocus()) {
        QStylePainter painter(this);
        QStyleOptionFocusRect option;
        option.initFrom(this);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
    }
}
