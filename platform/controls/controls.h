#pragma once

class QCheckBox;
class QLabel;
class QLineEdit;
class QScrollBar;
class QString;
class QWidget;

namespace platform {

// Twips (1440 to the inch) to logical pixels: 15 twips are one pixel at 96 dpi.
constexpr int twipsToPixels(int twips) {
    return (twips + 7) / 15;
}

// Places a control from a left, top, width, height row in twips.
void place(QWidget& control, int left, int top, int width, int height);

// Sets a window's client area from a width and height in twips.
void setClientSize(QWidget& window, int width, int height);

// Ties a label to the control it stands before: the label's access key moves the focus there, and
// assistive technology names the control by the caption, without "&" and the closing colon.
void tieLabel(QLabel& label, QWidget& control);

// Check-box states as the program counts them: 0 unticked, 1 ticked, 2 greyed.
// (Qt numbers them 0 unchecked, 1 partially checked, 2 checked: mapped here, never cast.)
enum CheckBoxValue : int { vbUnchecked = 0, vbChecked = 1, vbGrayed = 2 };
int checkBoxValue(const QCheckBox& box);
// Throws RuntimeError(380) for a value that is not a check-box state. Only a greyed box is left in
// three-state mode, so a user's clicks on a box set to 0 or 1 never grey it.
void setCheckBoxValue(QCheckBox& box, int value);

// Sets a text box's text; the box shows it from its start, with the cursor there (Qt's own setText
// puts the cursor at the end and shows the tail of a long text).
void setText(QLineEdit& box, const QString& text);

// Sets a scroll bar's value; throws RuntimeError(380) for a value outside its range instead of
// clamping it.
void setScrollBarValue(QScrollBar& bar, int value);

} // namespace platform
