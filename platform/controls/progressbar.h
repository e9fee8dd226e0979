#pragma once

#include <QWidget>

class QPaintEvent;

namespace platform {

// The common-controls progress bar: Min, Max and Value are single-precision floats, Min 0 and
// Max 100 at first. Min stays below Max and Value within them: a value that would break that
// (NaN included) is refused with RuntimeError(380) and nothing changes. The bar shows the part
// (Value - Min) / (Max - Min). Assistive technology reads Min, Max and Value, and the part done
// in percent as the text of the value ("30 %"); every change is announced to it.
class ProgressBar : public QWidget {
    Q_OBJECT
public:
    explicit ProgressBar(QWidget* parent = nullptr);

    float Min() const noexcept { return min_; }
    float Max() const noexcept { return max_; }
    float Value() const noexcept { return value_; }
    void setMin(float min);
    void setMax(float max);
    void setValue(float value);

    // The part done as the bar draws it, 0 to 1, in steps of 1/10000.
    double drawnPart() const;

protected:
    // Drawn as the style draws a progress bar; a single control, so that assistive technology
    // meets one progress bar and not a frame around another.
    void paintEvent(QPaintEvent* event) override;

private:
    int drawnSteps() const;
    void changed();

    float min_ = 0.0f;
    float max_ = 100.0f;
    float value_ = 0.0f;
};

} // namespace platform
