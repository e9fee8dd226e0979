#pragma once

#include <QWidget>

class QProgressBar;

namespace platform {

// The common-controls progress bar: Min, Max and Value are single-precision floats, Min 0 and
// Max 100 at first. Min stays below Max and Value within them: a value that would break that
// (NaN included) is refused with RuntimeError(380) and nothing changes. The bar shows the part
// (Value - Min) / (Max - Min).
class ProgressBar : public QWidget {
public:
    explicit ProgressBar(QWidget* parent = nullptr);

    float Min() const noexcept { return min_; }
    float Max() const noexcept { return max_; }
    float Value() const noexcept { return value_; }
    void setMin(float min);
    void setMax(float max);
    void setValue(float value);

    // The drawn bar, for tests that look at what the user sees.
    const QProgressBar& bar() const noexcept { return *bar_; }

private:
    void showPart();

    QProgressBar* bar_;
    float min_ = 0.0f;
    float max_ = 100.0f;
    float value_ = 0.0f;
};

} // namespace platform
