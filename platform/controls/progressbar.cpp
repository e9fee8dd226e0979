#include "platform/controls/progressbar.h"

#include "platform/errors/runtimeerror.h"

#include <QProgressBar>
#include <QVBoxLayout>
#include <cmath>

namespace platform {

namespace {

// The drawn bar counts in steps this fine, whatever the floats' range.
constexpr int kSteps = 10000;

} // namespace

ProgressBar::ProgressBar(QWidget* parent) : QWidget(parent), bar_(new QProgressBar(this)) {
    bar_->setRange(0, kSteps);
    bar_->setTextVisible(false);
    bar_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(bar_);
    showPart();
}

void ProgressBar::setMin(float min) {
    // Written as negations so that NaN is refused too.
    if (!(min < max_) || !(min <= value_))
        platform::raise(ErrInvalidPropertyValue);
    min_ = min;
    showPart();
}

void ProgressBar::setMax(float max) {
    if (!(max > min_) || !(max >= value_))
        platform::raise(ErrInvalidPropertyValue);
    max_ = max;
    showPart();
}

void ProgressBar::setValue(float value) {
    if (!(value >= min_ && value <= max_))
        platform::raise(ErrInvalidPropertyValue);
    value_ = value;
    showPart();
}

void ProgressBar::showPart() {
    const double part = (double{value_} - min_) / (double{max_} - min_);
    bar_->setValue(static_cast<int>(std::lround(part * kSteps)));
}

} // namespace platform
