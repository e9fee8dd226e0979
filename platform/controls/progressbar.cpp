#include "platform/controls/progressbar.h"

#include "platform/controls/accessiblevalue.h"
#include "platform/errors/runtimeerror.h"

#include <QStyleOptionProgressBar>
#include <QStylePainter>
#include <cmath>

namespace platform {

namespace {

// The drawn bar counts in steps this fine, whatever the floats' range.
constexpr int kSteps = 10000;

class AccessibleProgressBar : public AccessibleValue {
public:
    explicit AccessibleProgressBar(ProgressBar* bar)
        : AccessibleValue(bar, QAccessible::ProgressBar) {}

    QVariant currentValue() const override { return bar().Value(); }
    // Only the program moves the bar.
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return bar().Max(); }
    QVariant minimumValue() const override { return bar().Min(); }
    QVariant minimumStepSize() const override { return 0; }

protected:
    QString valueText() const override {
        return QString::number(std::lround(bar().drawnPart() * 100)) + QStringLiteral(" %");
    }

private:
    ProgressBar& bar() const { return static_cast<ProgressBar&>(*widget()); }
};

} // namespace

ProgressBar::ProgressBar(QWidget* parent) : QWidget(parent) {
    describeAs<ProgressBar, AccessibleProgressBar>();
}

void ProgressBar::setMin(float min) {
    // Written as negations so that NaN is refused too.
    if (!(min < max_) || !(min <= value_))
        platform::raise(ErrInvalidPropertyValue);
    min_ = min;
    changed();
}

void ProgressBar::setMax(float max) {
    if (!(max > min_) || !(max >= value_))
        platform::raise(ErrInvalidPropertyValue);
    max_ = max;
    changed();
}

void ProgressBar::setValue(float value) {
    if (!(value >= min_ && value <= max_))
        platform::raise(ErrInvalidPropertyValue);
    value_ = value;
    changed();
}

int ProgressBar::drawnSteps() const {
    const double part = (double{value_} - min_) / (double{max_} - min_);
    return static_cast<int>(std::lround(part * kSteps));
}

double ProgressBar::drawnPart() const {
    return double(drawnSteps()) / kSteps;
}

void ProgressBar::changed() {
    update();
    QAccessibleValueChangeEvent event(this, value_);
    QAccessible::updateAccessibility(&event);
}

void ProgressBar::paintEvent(QPaintEvent*) {
    QStyleOptionProgressBar option;
    option.initFrom(this);
    option.state |= QStyle::State_Horizontal;
    option.minimum = 0;
    option.maximum = kSteps;
    option.progress = drawnSteps();
    option.textVisible = false;
    QStylePainter(this).drawControl(QStyle::CE_ProgressBar, option);
}

} // namespace platform
