#include "ui/CGauge.h"

#include <QPainter>

#include <algorithm>

CGauge::CGauge(QWidget* parent) : QWidget(parent)
{
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
}

void CGauge::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    const QRect outer = rect();
    painter.fillRect(outer, Qt::black);
    const QRect inner = outer.adjusted(1, 1, -1, -1);
    // The scroll-bar trough of the original has no role of its own here; the button colour is what the
    // style paints its troughs and frames with.
    painter.fillRect(inner, palette().color(QPalette::Button));
    const int filled = inner.width() * progress_ / 100;
    painter.fillRect(QRect(inner.left(), inner.top(), filled, inner.height()), QColor(0, 0, 255));

    // White combined by exclusive-or shows as the inverse of what lies beneath: yellow over the blue bar,
    // dark over the background. Smoothed glyph edges would turn into coloured fringes, so the text is
    // drawn without antialiasing.
    QFont textFont = font();
    textFont.setStyleStrategy(QFont::NoAntialias);
    painter.setFont(textFont);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.setPen(Qt::white);
    painter.drawText(inner, Qt::AlignCenter, QString::number(progress_) + QLatin1Char('%'));
}
