#pragma once

class QLabel;
class QString;
class QWidget;

// Labels marked "autoSize" in a window description take the size of their text, as the original's did.
void SizeLabelsToText(QWidget& window);

// Sets a label's text and, for a self-sizing label, its size.
void SetLabelText(QLabel& label, const QString& text);
