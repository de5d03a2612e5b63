#include "ui/CGauge.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QImage>
#include <QPainter>
#include <QtMath>

#include <algorithm>

namespace {

// What assistive technology sees of the gauge: a progress bar with its value, so a screen reader can
// follow a run.
class GaugeAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
  public:
    explicit GaugeAccessible(CGauge* gauge) : QAccessibleWidget(gauge, QAccessible::ProgressBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Value) {
            return QString::number(Gauge()->Progress()) + QLatin1Char('%');
        }
        return QAccessibleWidget::text(type);
    }
    QVariant currentValue() const override { return Gauge()->Progress(); }
    void setCurrentValue(const QVariant& /*value*/) override {}
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

  private:
    CGauge* Gauge() const { return static_cast<CGauge*>(widget()); }
};

QAccessibleInterface* GaugeAccessibility(const QString& className, QObject* object)
{
    if (className == QLatin1String("CGauge") && object != nullptr && object->isWidgetType()) {
        return new GaugeAccessible(static_cast<CGauge*>(object));
    }
    return nullptr;
}

} // namespace

CGauge::CGauge(QWidget* parent) : QWidget(parent)
{
    static const bool accessible = (QAccessible::installFactory(&GaugeAccessibility), true);
    (void)accessible;
    // The whole widget is painted every time; nothing of the parent shows through.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CGauge::SetProgress(int value)
{
    value = std::clamp(value, 0, 100);
    if (value == progress_) {
        return;
    }
    progress_ = value;
    repaint();
    QAccessibleValueChangeEvent changed(this, value);
    QAccessible::updateAccessibility(&changed);
}

void CGauge::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    const QRect outer = rect();
    painter.fillRect(outer, Qt::black);
    const QRect inner = outer.adjusted(1, 1, -1, -1);
    // The background in the colour the style paints its troughs and frames with.
    painter.fillRect(inner, palette().color(QPalette::Button));
    const int filled = inner.width() * progress_ / 100;
    painter.fillRect(QRect(inner.left(), inner.top(), filled, inner.height()), QColor(0, 0, 255));

    // White combined by exclusive-or shows as the inverse of what lies beneath: yellow over the blue bar,
    // dark over the background. Smoothed glyph edges would turn into coloured fringes, so the text is not
    // antialiased, in DejaVu Sans, whose digits and "%" stay clear in plain pixels at this size. It is drawn
    // once, white on black, into a mask that is then combined as a whole, so glyphs that touch never cancel
    // each other out. The mask has the screen's own pixels, so a scaled display gets glyphs drawn at its
    // size rather than enlarged ones.
    const qreal ratio = devicePixelRatioF();
    QImage mask(qCeil(inner.width() * ratio), qCeil(inner.height() * ratio), QImage::Format_RGB32);
    mask.setDevicePixelRatio(ratio);
    mask.fill(Qt::black);
    QPainter text(&mask);
    QFont textFont(QStringLiteral("DejaVu Sans"));
    textFont.setPixelSize(11);
    textFont.setStyleStrategy(QFont::NoAntialias);
    text.setFont(textFont);
    text.setPen(Qt::white);
    text.drawText(QRectF(QPointF(0, 0), mask.deviceIndependentSize()), Qt::AlignCenter,
                  QString::number(progress_) + QLatin1Char('%'));
    text.end();
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.drawImage(inner.topLeft(), mask);
}
