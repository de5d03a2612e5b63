#pragma once

#include <QFont>

class QApplication;
class QWidget;

// The family of the application font. The windows are laid out in fixed pixels for an 11-pixel sans
// serif; Liberation Sans has the narrow metrics that keep every caption inside its box.
inline constexpr const char* ApplicationFontFamily = "Liberation Sans";
inline constexpr int ApplicationFontPixels = 11;

QFont ApplicationFont();

// Style and font for the whole application. The fixed geometry of the windows needs one known style:
// a desktop theme with larger paddings would clip the controls.
void SetUpAppearance(QApplication& app);

// Puts a window in the middle of the screen it will show on.
void CentreOnScreen(QWidget& window);

// Puts a window in the middle of its owner, within the screen; on the screen when the owner is not shown.
void CentreOver(QWidget& window, const QWidget* owner);
