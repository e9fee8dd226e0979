// The progress bar control: float Min, Max and Value, and the part it draws.
#include "platform/controls/progressbar.h"
#include "platform/errors/runtimeerror.h"
#include "support/errornumber.h"

#include <QImage>
#include <gtest/gtest.h>
#include <limits>

namespace {

TEST(ProgressBar, KeepsItsValueWithinMinAndMaxAndShowsThePartDone) {
    platform::ProgressBar bar;
    bar.resize(177, 25);
    const QImage empty = bar.grab().toImage();
    bar.setMax(3);
    bar.setValue(1);
    EXPECT_EQ(bar.Value(), 1.0f);
    EXPECT_NEAR(bar.drawnPart(), 1.0 / 3, 1e-4);
    bar.setValue(2.5f);
    EXPECT_EQ(bar.Value(), 2.5f);
    bar.setValue(3);
    EXPECT_EQ(bar.drawnPart(), 1.0);
    EXPECT_NE(bar.grab().toImage(), empty) << "the part done is drawn";
    bar.setMin(1);
    EXPECT_EQ(bar.drawnPart(), 1.0);
    bar.setValue(1);
    EXPECT_EQ(bar.drawnPart(), 0.0);

    const auto refused = [&](const std::function<void()>& change) {
        const float min = bar.Min(), max = bar.Max(), value = bar.Value();
        const int error = testsupport::errorNumber(change);
        if (error == 0)
            return false;
        EXPECT_EQ(error, platform::ErrInvalidPropertyValue);
        EXPECT_EQ(bar.Min(), min);
        EXPECT_EQ(bar.Max(), max);
        EXPECT_EQ(bar.Value(), value);
        return true;
    };
    EXPECT_TRUE(refused([&] { bar.setValue(3.5f); }));
    EXPECT_TRUE(refused([&] { bar.setValue(0.5f); }));
    EXPECT_TRUE(refused([&] { bar.setValue(std::numeric_limits<float>::quiet_NaN()); }));
    EXPECT_TRUE(refused([&] { bar.setMax(1); })); // not above Min
    EXPECT_TRUE(refused([&] { bar.setMin(3); })); // not below Max
    bar.setValue(2);
    EXPECT_TRUE(refused([&] { bar.setMax(1.5f); })); // below Value
    EXPECT_TRUE(refused([&] { bar.setMin(2.5f); })); // above Value
    EXPECT_FALSE(refused([&] { bar.setMax(32768.0f); }));
}

} // namespace
