#include "image/byteview.h"
#include "support/errornumber.h"

#include <array>
#include <functional>
#include <gtest/gtest.h>

using testsupport::errorNumber;

TEST(ByteView, AddressesByteWithinRowThenRow) {
    std::array<std::uint8_t, 12> memory{};
    const ByteView view(memory.data(), 4, 3);
    view(1, 2) = 7;
    EXPECT_EQ(memory[2 * 4 + 1], 7);
    const auto run = view.span(1, 1, 3);
    EXPECT_EQ(run.data(), memory.data() + 5);
    EXPECT_EQ(run.size(), 3u);
    EXPECT_TRUE(view.span(2, 4, 0).empty()) << "an empty run at the row's end is in bounds";
}

TEST(ByteView, RaisesSubscriptOutOfRangeOutsideItsBounds) {
    std::array<std::uint8_t, 12> memory{};
    const ByteView view(memory.data(), 4, 3);
    const ByteView none(nullptr, 4, 3);
    const std::function<void()> outside[] = {
        [&] { view(-1, 0); },         [&] { view(4, 0); },
        [&] { view(0, -1); },         [&] { view(0, 3); },
        [&] { view.span(3, 0, 1); },  [&] { view.span(-1, 0, 1); },
        [&] { view.span(0, -1, 2); }, [&] { view.span(0, 2, 3); },
        [&] { view.span(0, 0, -1); }, [&] { view.span(0, 0x7FFFFFFF, 0x7FFFFFFF); },
        [&] { none(0, 0); }};
    for (const auto& access : outside)
        EXPECT_EQ(errorNumber(access), platform::ErrSubscriptOutOfRange);
    EXPECT_EQ(memory, (std::array<std::uint8_t, 12>{}));
}
