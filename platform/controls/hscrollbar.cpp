#include "platform/controls/hscrollbar.h"

#include "platform/controls/accessiblevalue.h"

#include <QKeyEvent>
#include <QStyleOptionFocusRect>
#include <QStyleOptionSlider>
#include <QStylePainter>

namespace platform {

namespace {

class AccessibleScrollBar : public AccessibleValue {
public:
    explicit AccessibleScrollBar(HScrollBar* bar) : AccessibleValue(bar, QAccessible::ScrollBar) {}

    QVariant currentValue() const override { return bar().value(); }
    void setCurrentValue(const QVariant& value) override { bar().setValue(value.toInt()); }
    QVariant maximumValue() const override { return bar().maximum(); }
    QVariant minimumValue() const override { return bar().minimum(); }
    QVariant minimumStepSize() const override { return bar().singleStep(); }

protected:
    QString valueText() const override {
        return QString::number(bar().value()) + bar().valueSuffix();
    }

private:
    HScrollBar& bar() const { return static_cast<HScrollBar&>(*widget()); }
};

} // namespace

HScrollBar::HScrollBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent) {
    describeAs<HScrollBar, AccessibleScrollBar>();
}

void HScrollBar::keyPressEvent(QKeyEvent* event) {
    SliderAction action = SliderNoAction;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        action = SliderSingleStepSub;
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        action = SliderSingleStepAdd;
        break;
    case Qt::Key_PageUp:
        action = SliderPageStepSub;
        break;
    case Qt::Key_PageDown:
        action = SliderPageStepAdd;
        break;
    case Qt::Key_Home:
        action = SliderToMinimum;
        break;
    case Qt::Key_End:
        action = SliderToMaximum;
        break;
    default:
        QScrollBar::keyPressEvent(event);
        return;
    }
    triggerAction(action);
    event->accept();
}

QRect HScrollBar::part(QStyle::SubControl control) const {
    QStyleOptionSlider slider;
    initStyleOption(&slider);
    return style()->subControlRect(QStyle::CC_ScrollBar, &slider, control, this);
}

// Qt's styles draw no focus mark on a scroll bar, so a person using the keyboard would not see
// where the arrow keys go: the thumb gets the style's focus frame.
void HScrollBar::paintEvent(QPaintEvent* event) {
    QScrollBar::paintEvent(event);
    if (!hasFocus())
        return;
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = part(QStyle::SC_ScrollBarSlider).adjusted(2, 2, -2, -2);
    QStylePainter painter(this);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
}

} // namespace platform
