#include "image/cdibsection.h"
#include "platform/errors/runtimeerror.h"
#include "platform/gdi/gdihandles.h"
#include "support/dibs.h"
#include "support/errornumber.h"
#include "support/referenceresample.h"

#include <array>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <vector>

using testsupport::errorNumber;
using testsupport::referenceResample;

namespace {

using Bgr = std::array<std::uint8_t, 3>;

std::uint8_t* pixelOf(const cDIBSection& buffer, int x, int memoryRow) {
    return buffer.DIBSectionBitsPtr() +
           static_cast<std::size_t>(memoryRow) * buffer.BytesPerScanLine() + 3 * x;
}

Bgr bgrOf(const cDIBSection& buffer, int x, int memoryRow) {
    const std::uint8_t* p = pixelOf(buffer, x, memoryRow);
    return {p[0], p[1], p[2]};
}

void setBgr(const cDIBSection& buffer, int x, int memoryRow, Bgr value) {
    std::memcpy(pixelOf(buffer, x, memoryRow), value.data(), 3);
}

std::vector<std::uint8_t> bytesOf(const cDIBSection& buffer) {
    const std::uint8_t* bits = buffer.DIBSectionBitsPtr();
    return {bits, bits + static_cast<std::size_t>(buffer.BytesPerScanLine()) * buffer.Height()};
}

// A created buffer whose pixel bytes are random; the padding stays 0.
std::unique_ptr<cDIBSection> noise(int width, int height, std::uint32_t seed) {
    auto buffer = std::make_unique<cDIBSection>();
    EXPECT_TRUE(buffer->Create(width, height)) << width << "x" << height;
    std::mt19937 random(seed);
    for (int r = 0; r < height; ++r)
        for (int b = 0; b < 3 * width; ++b)
            pixelOf(*buffer, 0, r)[b] = static_cast<std::uint8_t>(random());
    return buffer;
}

// What a Resample must leave as it was in its source.
struct State {
    std::vector<std::uint8_t> bytes;
    std::int32_t width, height;
    gdi::HDC hdc;
    gdi::HBITMAP hDib;
    std::uint8_t* bits;

    explicit State(const cDIBSection& b)
        : bytes(b.DIBSectionBitsPtr() ? bytesOf(b) : std::vector<std::uint8_t>{}), width(b.Width()),
          height(b.Height()), hdc(b.hdc()), hDib(b.hDib()), bits(b.DIBSectionBitsPtr()) {}
    bool operator==(const State&) const = default;
};

int rounded(double value) {
    return static_cast<int>(std::nearbyint(value));
}

} // namespace

TEST(Resample, SameSizeIsAnExactCopyInANewBuffer) {
    const std::pair<int, int> sizes[] = {{1, 1}, {1, 5}, {5, 1}, {5, 3}, {64, 48}};
    for (const auto& [width, height] : sizes) {
        const auto source = noise(width, height, static_cast<std::uint32_t>(width * 100 + height));
        const State before(*source);
        const auto copy = source->Resample(height, width);
        ASSERT_NE(copy, nullptr) << width << "x" << height;
        EXPECT_EQ(copy->Width(), width);
        EXPECT_EQ(copy->Height(), height);
        EXPECT_EQ(bytesOf(*copy), before.bytes) << width << "x" << height;
        EXPECT_NE(copy->hDib(), source->hDib());
        EXPECT_NE(copy->DIBSectionBitsPtr(), source->DIBSectionBitsPtr());
        EXPECT_EQ(State(*source), before);
    }
}

struct Ramp {
    std::uint8_t right;
    std::array<std::uint8_t, 4> expected;
};

class TwoByTwoToFourByTwo : public ::testing::TestWithParam<Ramp> {};

// Two columns, widened to four: the columns sample at 0, 0.25, 0.5 and 0.75 of the way across,
// so the last one stops short of the right column.
TEST_P(TwoByTwoToFourByTwo, SamplesAQuarterStepApartRoundingHalvesToEven) {
    const Ramp ramp = GetParam();
    cDIBSection source;
    ASSERT_TRUE(source.Create(2, 2));
    for (int r = 0; r < 2; ++r)
        setBgr(source, 1, r, {ramp.right, ramp.right, ramp.right});
    const auto wide = source.Resample(2, 4);
    ASSERT_NE(wide, nullptr);
    ASSERT_EQ(wide->Width(), 4);
    ASSERT_EQ(wide->Height(), 2);
    for (int r = 0; r < 2; ++r)
        for (int x = 0; x < 4; ++x) {
            const std::uint8_t v = ramp.expected[x];
            EXPECT_EQ(bgrOf(*wide, x, r), (Bgr{v, v, v})) << "column " << x << ", row " << r;
        }
}

INSTANTIATE_TEST_SUITE_P(Ramps, TwoByTwoToFourByTwo,
                         ::testing::Values(Ramp{100, {0, 25, 50, 75}}, Ramp{5, {0, 1, 2, 4}}));

// Eight columns shrunk to two sample at columns 0 and 3.5; two rows shrunk to two at rows 0 and
// 0.5. Each step rounds on its own, halves to even.
TEST(Resample, ShrinkingEightByTwoToTwoByTwo) {
    const auto source = noise(8, 2, 77);
    const auto mean = [](int a, int b) {
        return static_cast<std::uint8_t>(rounded((a + b) / 2.0));
    };
    Bgr row0col1{}, row1col0{}, row1col1{};
    for (int c = 0; c < 3; ++c) {
        const auto byte = [&](int x, int r) { return bgrOf(*source, x, r)[c]; };
        row0col1[c] = mean(byte(3, 0), byte(4, 0));
        row1col0[c] = mean(byte(0, 0), byte(0, 1));
        row1col1[c] = mean(mean(byte(3, 0), byte(3, 1)), mean(byte(4, 0), byte(4, 1)));
    }
    const auto check = [&](const char* what) {
        const auto small = source->Resample(2, 2);
        ASSERT_NE(small, nullptr);
        EXPECT_EQ(bgrOf(*small, 0, 0), bgrOf(*source, 0, 0)) << what;
        EXPECT_EQ(bgrOf(*small, 1, 0), row0col1) << what;
        EXPECT_EQ(bgrOf(*small, 0, 1), row1col0) << what;
        EXPECT_EQ(bgrOf(*small, 1, 1), row1col1) << what;
        for (int r = 0; r < 2; ++r)
            EXPECT_EQ(pixelOf(*small, 2, r)[0] | pixelOf(*small, 2, r)[1], 0) << "padding";
    };
    check("as made");
    // Columns the samples do not reach have no influence ...
    for (const int x : {1, 2, 5, 6, 7})
        for (int r = 0; r < 2; ++r) {
            const Bgr old = bgrOf(*source, x, r);
            setBgr(*source, x, r, {static_cast<std::uint8_t>(old[0] ^ 0x80), 0, 255});
        }
    check("with columns 1, 2 and 5 to 7 changed");
    // ... those they reach have.
    for (const int x : {0, 3, 4}) {
        const Bgr old = bgrOf(*source, x, 0);
        setBgr(*source, x, 0, {static_cast<std::uint8_t>(old[0] ^ 0x80), old[1], old[2]});
        const auto small = source->Resample(2, 2);
        ASSERT_NE(small, nullptr);
        EXPECT_NE(bytesOf(*small)[x == 0 ? 0 : 3], x == 0 ? old[0] : row0col1[0]) << "column " << x;
        setBgr(*source, x, 0, old);
    }
}

TEST(Resample, NoSizeGivesNoBuffer) {
    const auto source = noise(6, 4, 5);
    const State before(*source);
    const int objects = gdi::liveObjectCount();
    const std::pair<int, int> sizes[] = {{0, 4}, {6, 0}, {0, 0}, {-6, 4}, {6, -4}};
    for (const auto& [width, height] : sizes) {
        EXPECT_EQ(source->Resample(height, width), nullptr) << width << "x" << height;
        EXPECT_EQ(gdi::liveObjectCount(), objects);
    }
    EXPECT_EQ(State(*source), before);
}

TEST(Resample, SizeWhoseRowLengthOverflowsRaisesErrorSix) {
    const auto source = noise(6, 4, 6);
    const State before(*source);
    const int objects = gdi::liveObjectCount();
    EXPECT_EQ(errorNumber([&] { source->Resample(1, 1 << 30); }), platform::ErrOverflow);
    EXPECT_EQ(gdi::liveObjectCount(), objects) << "the new buffer was released";
    EXPECT_EQ(State(*source), before);
}

TEST(Resample, BufferWithoutPixelsGivesNoBuffer) {
    const int objects = gdi::liveObjectCount();
    cDIBSection cleared;
    ASSERT_TRUE(cleared.Create(6, 4));
    cleared.ClearUp(); // still reports 6 x 4
    cDIBSection failed;
    ASSERT_FALSE(failed.Create(0, 4));
    cDIBSection fresh;
    for (const cDIBSection* source : {&cleared, &failed, &fresh}) {
        EXPECT_EQ(source->Resample(source->Height(), source->Width()), nullptr);
        EXPECT_EQ(source->Resample(8, 12), nullptr);
        EXPECT_EQ(source->Resample(1, 1), nullptr);
    }
    EXPECT_EQ(gdi::liveObjectCount(), objects);
}

struct SizeChange {
    int width, height, newWidth, newHeight;
};

class OnePixelSource : public ::testing::TestWithParam<SizeChange> {};

// Interpolating needs a right neighbour and a next row; a source 1 pixel wide or high has no
// second one to read.
TEST_P(OnePixelSource, CannotBeInterpolated) {
    const SizeChange change = GetParam();
    const auto source = noise(change.width, change.height, 9);
    const State before(*source);
    const int objects = gdi::liveObjectCount();
    EXPECT_EQ(errorNumber([&] { source->Resample(change.newHeight, change.newWidth); }),
              platform::ErrSubscriptOutOfRange);
    EXPECT_EQ(gdi::liveObjectCount(), objects) << "the new buffer was released";
    EXPECT_EQ(State(*source), before);
    EXPECT_EQ(errorNumber([&] { referenceResample(*source, change.newHeight, change.newWidth); }),
              platform::ErrSubscriptOutOfRange);
}

INSTANTIATE_TEST_SUITE_P(Sizes, OnePixelSource,
                         ::testing::Values(SizeChange{1, 5, 3, 5}, SizeChange{1, 5, 1, 7},
                                           SizeChange{1, 5, 2, 2}, SizeChange{1, 3, 1, 1},
                                           SizeChange{5, 1, 5, 3}, SizeChange{5, 1, 7, 1},
                                           SizeChange{3, 1, 1, 1}, SizeChange{1, 1, 2, 2},
                                           SizeChange{1, 1, 1, 2}, SizeChange{1, 1, 2, 1}));

// Drawn out into a top-down bitmap, the resampled picture has its marked bottom row still at the
// bottom, enlarged as well as shrunk.
TEST(Resample, KeepsThePictureUpright) {
    constexpr std::uint32_t marked = 0x30C050;
    constexpr std::uint32_t rest = 0x102030;
    const auto dib = testsupport::makeDib(12, 9, 24, true);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x)
            dib.setColour(x, y, y == 8 ? marked : rest);
    cDIBSection source;
    source.CreateFromPicture(std::make_shared<platform::Picture>(dib.handle));
    ASSERT_EQ(source.Height(), 9);
    for (const auto& [width, height] : {std::pair{25, 19}, std::pair{5, 3}}) {
        const auto resampled = source.Resample(height, width);
        ASSERT_NE(resampled, nullptr);
        const auto target = testsupport::makeDib(width, height, 32, true);
        const gdi::OwnedBitmap owner(target.handle);
        const gdi::MemoryDC dc;
        const gdi::Selection selected(dc.get(), target.handle);
        resampled->PaintPicture(dc.get());
        for (int x = 0; x < width; ++x) {
            EXPECT_EQ(target.colour(x, height - 1), marked) << width << "x" << height << ", " << x;
            EXPECT_EQ(target.colour(x, 0), rest) << width << "x" << height << ", " << x;
        }
    }
}

// The row-at-a-time interpolation against the byte-at-a-time one, on random pictures enlarged and
// shrunk in either direction, with odd and even widths: every byte equal, padding included.
TEST(Resample, EqualsTheByteByByteVersion) {
    std::vector<SizeChange> changes = {{2, 2, 200, 150},  {200, 150, 2, 2},     {199, 149, 3, 2},
                                       {3, 2, 199, 149},  {7, 5, 7, 9},         {7, 5, 13, 5},
                                       {2, 2, 3, 3},      {150, 100, 149, 101}, {64, 3, 63, 2},
                                       {17, 11, 128, 77}, {2, 150, 200, 2},     {200, 2, 2, 150}};
    std::mt19937 random(2024);
    const auto between = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    for (int i = 0; i < 150; ++i)
        changes.push_back({between(2, 200), between(2, 150), between(1, 300), between(1, 225)});
    std::uint32_t seed = 0;
    for (const SizeChange& c : changes) {
        const auto source = noise(c.width, c.height, ++seed);
        const State before(*source);
        const auto expected = referenceResample(*source, c.newHeight, c.newWidth);
        const auto actual = source->Resample(c.newHeight, c.newWidth);
        const auto what = ::testing::Message() << c.width << "x" << c.height << " -> " << c.newWidth
                                               << "x" << c.newHeight;
        ASSERT_NE(expected, nullptr) << what;
        ASSERT_NE(actual, nullptr) << what;
        ASSERT_EQ(actual->Width(), c.newWidth) << what;
        ASSERT_EQ(actual->Height(), c.newHeight) << what;
        ASSERT_EQ(bytesOf(*actual), bytesOf(*expected)) << what;
        ASSERT_EQ(State(*source), before) << what;
    }
}

// At some eight million columns the float arithmetic carries the last column onto the last source
// pixel, whose right neighbour then lies in the row's padding: read (the row is 3 padding bytes
// longer) or out of bounds (it is 2 bytes longer). Likewise the last row reaches past the top.
TEST(Resample, VeryWideOrTallResultsReachTheSourceEdgeAsTheByteByByteVersionDoes) {
    constexpr int huge = 8735302;
    {
        const auto source = noise(35, 2, 1); // 105 pixel bytes, 3 padding bytes a row
        for (int r = 0; r < 2; ++r)
            std::memset(pixelOf(*source, 35, r), 0xEE, 3);
        const auto expected = referenceResample(*source, 1, huge);
        const auto actual = source->Resample(1, huge);
        ASSERT_NE(actual, nullptr);
        ASSERT_NE(expected, nullptr);
        EXPECT_TRUE(bytesOf(*actual) == bytesOf(*expected));
    }
    const int objects = gdi::liveObjectCount();
    const SizeChange failing[] = {{18, 2, huge, 1}, {2, 35, 1, huge}};
    for (const SizeChange& c : failing) {
        const auto source = noise(c.width, c.height, 2);
        EXPECT_EQ(errorNumber([&] { referenceResample(*source, c.newHeight, c.newWidth); }),
                  platform::ErrSubscriptOutOfRange);
        EXPECT_EQ(errorNumber([&] { source->Resample(c.newHeight, c.newWidth); }),
                  platform::ErrSubscriptOutOfRange)
            << c.width << "x" << c.height << " -> " << c.newWidth << "x" << c.newHeight;
    }
    EXPECT_EQ(gdi::liveObjectCount(), objects);
}
