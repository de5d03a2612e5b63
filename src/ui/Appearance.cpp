#include "ui/Appearance.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QProxyStyle>
#include <QScreen>
#include <QStyleFactory>
#include <QStyleOptionComboBox>
#include <QWidget>

#include <algorithm>

namespace {

// Fusion with the check-box metrics of the desktop the windows were drawn for: a 13-pixel box and a
// 4-pixel gap before the caption. Fusion's wider box and gap would leave the start-number tick's caption two pixels
// short.
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

    // A closed list box's text longer than the box ends in an ellipsis instead of a cut-off letter; the
    // open list and the tooltip show it whole.
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        const auto* box = qstyleoption_cast<const QStyleOptionComboBox*>(option);
        if (element == CE_ComboBoxLabel && box != nullptr && !box->editable && !box->currentText.isEmpty()) {
            QStyleOptionComboBox shown(*box);
            // The room the label is drawn in: the edit field less a pixel either side.
            const int room = subControlRect(CC_ComboBox, box, SC_ComboBoxEditField, widget).width() - 2 -
                             (box->currentIcon.isNull() ? 0 : box->iconSize.width() + 4);
            shown.currentText = box->fontMetrics.elidedText(box->currentText, Qt::ElideRight, std::max(room, 0));
            QProxyStyle::drawControl(element, &shown, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
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

void CentreOver(QWidget& window, const QWidget* owner)
{
    if (owner == nullptr || !owner->isVisible() || owner->screen() == nullptr) {
        CentreOnScreen(window);
        return;
    }
    const QRect ownerFrame = owner->frameGeometry();
    // A window not shown before knows no frame of its own yet; the window manager gives it the owner's.
    QSize frame = window.frameGeometry().size();
    if (frame == window.size()) {
        frame = window.size() + ownerFrame.size() - owner->size();
    }
    const QRect area = owner->screen()->availableGeometry();
    const int x = ownerFrame.x() + (ownerFrame.width() - frame.width()) / 2;
    const int y = ownerFrame.y() + (ownerFrame.height() - frame.height()) / 2;
    window.move(std::clamp(x, area.left(), std::max(area.left(), area.right() + 1 - frame.width())),
                std::clamp(y, area.top(), std::max(area.top(), area.bottom() + 1 - frame.height())));
}
