#include "ui/Appearance.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QProxyStyle>
#include <QScreen>
#include <QStyleFactory>
#include <QWidget>

namespace {

// Fusion with the check-box metrics of the desktop the windows were drawn for: a 13-pixel box and a
// 4-pixel gap before the caption. Fusion's wider box and gap would leave "Начать с:" two pixels short.
class QuorvaneStyle : public QProxyStyle {
  public:
    QuorvaneStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        switch (metric) {
        case PM_IndicatorWidth:
        case PM_IndicatorHeight:
            return 13;
        case PM_CheckBoxLabelSpacing:
            return 4;
        default:
            return QProxyStyle::pixelMetric(metric, option, widget);
        }
    }

    // Message box buttons carry their caption only, as the windows' own buttons do.
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_DialogButtonBox_ButtonsHaveIcons) {
            return 0;
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

QFont ApplicationFont()
{
    QFont font(QString::fromUtf8(ApplicationFontFamily));
    font.setPixelSize(ApplicationFontPixels);
    return font;
}

void SetUpAppearance(QApplication& app)
{
    // Fonts built into the program, where the system lacks the window's font (Windows).
    for (const QString& font : QDir(QStringLiteral(":/fonts")).entryList()) {
        QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/") + font);
    }
    app.setStyle(new QuorvaneStyle);
    app.setFont(ApplicationFont());
}

void CentreOnScreen(QWidget& window)
{
    QScreen* screen = window.screen();
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->availableGeometry();
    const QSize frame = window.frameGeometry().size();
    window.move(area.x() + (area.width() - frame.width()) / 2, area.y() + (area.height() - frame.height()) / 2);
}
