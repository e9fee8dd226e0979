#include "platform/controls/controls.h"

#include "platform/errors/runtimeerror.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScrollBar>

namespace platform {

void place(QWidget& control, int left, int top, int width, int height) {
    control.setGeometry(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                        twipsToPixels(height));
}

void setClientSize(QWidget& window, int width, int height) {
    window.setFixedSize(twipsToPixels(width), twipsToPixels(height));
}

void tieLabel(QLabel& label, QWidget& control) {
    label.setBuddy(&control);
    // "&&" is a drawn ampersand; a single "&" marks the access key.
    QString name =
        label.text().replace(QRegularExpression(QStringLiteral("&(.)")), QStringLiteral("\\1"));
    if (name.endsWith(u':'))
        name.chop(1);
    control.setAccessibleName(name.trimmed());
}

int checkBoxValue(const QCheckBox& box) {
    switch (box.checkState()) {
    case Qt::Checked:
        return vbChecked;
    case Qt::PartiallyChecked:
        return vbGrayed;
    case Qt::Unchecked:
        break;
    }
    return vbUnchecked;
}

void setCheckBoxValue(QCheckBox& box, int value) {
    switch (value) {
    case vbUnchecked:
        box.setCheckState(Qt::Unchecked);
        box.setTristate(false);
        return;
    case vbChecked:
        box.setCheckState(Qt::Checked);
        box.setTristate(false);
        return;
    case vbGrayed:
        box.setTristate(true);
        box.setCheckState(Qt::PartiallyChecked);
        return;
    default:
        raise(ErrInvalidPropertyValue);
    }
}

void setText(QLineEdit& box, const QString& text) {
    box.setText(text);
    box.setCursorPosition(0);
}

void setScrollBarValue(QScrollBar& bar, int value) {
    if (value < bar.minimum() || value > bar.maximum())
        raise(ErrInvalidPropertyValue);
    bar.setValue(value);
}

} // namespace platform
