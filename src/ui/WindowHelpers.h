#pragma once

class QLabel;
class QString;
class QWidget;

// Labels marked "autoSize" in a window description take the size of their text, so a caption is never
// cut off or padded.
void SizeLabelsToText(QWidget& window);

// Sets a label's text and, for a self-sizing label, its size.
void SetLabelText(QLabel& label, const QString& text);
