#pragma once

class QLabel;
class QString;
class QWidget;

// Labels marked "autoSize" in a window description take the size of their text, so a caption is never
// cut off or padded.
void SizeLabelsToText(QWidget& window);

// Sets a label's text and, for a self-sizing label, its size.
void SetLabelText(QLabel& label, const QString& text);

// The least room a button leaves on either side of its caption, in the window's own pixels.
inline constexpr int ButtonCaptionPadding = 4;

// A button whose caption, in the font it is shown with, would come closer to its edges than
// ButtonCaptionPadding grows to fit: one in the left third of its parent keeps its left edge, one in the
// right third its right edge, one in the middle its centre. Buttons wide enough keep their size.
void SizeButtonsToText(QWidget& window);
