#include "image/cdibsection.h"
#include "image/uniformrandom.h"
#include "platform/errors/runtimeerror.h"
#include "platform/gdi/gdihandles.h"
#include "support/dibs.h"
#include "support/errornumber.h"
#include "support/messageboxes.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>

using testsupport::Dib;
using testsupport::errorNumber;
using testsupport::makeDib;
using testsupport::patternColour;

namespace {

// A picture whose pixels are patternColour(x, y, seed), with its DIB for checking.
struct TestPicture {
    Dib dib;
    platform::PictureDisp picture;
};

TestPicture makePicture(int width, int height, std::uint32_t seed, int bits = 24,
                        bool topDown = false) {
    TestPicture p{makeDib(width, height, bits, topDown), nullptr};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p.dib.setColour(x, y, patternColour(x, y, seed));
    p.picture = std::make_shared<platform::Picture>(p.dib.handle);
    return p;
}

// Colour of pixel (x, y), counted from the top-left, read through the buffer's own layout.
std::uint32_t colourOf(const cDIBSection& buffer, int x, int y) {
    const std::uint8_t* p =
        buffer.DIBSectionBitsPtr() +
        static_cast<std::size_t>(buffer.Height() - 1 - y) * buffer.BytesPerScanLine() + 3 * x;
    return std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
}

bool isEmpty(const cDIBSection& buffer) {
    return buffer.hdc() == 0 && buffer.hDib() == 0 && buffer.DIBSectionBitsPtr() == nullptr;
}

std::size_t imageSize(const cDIBSection& buffer) {
    gdi::BITMAP bm;
    EXPECT_NE(gdi::GetObjectA(buffer.hDib(), sizeof bm, &bm), 0);
    return static_cast<std::size_t>(bm.bmWidthBytes) * bm.bmHeight;
}

} // namespace

TEST(cDIBSection, NewBufferIsEmpty) {
    const cDIBSection buffer;
    EXPECT_TRUE(isEmpty(buffer));
    EXPECT_EQ(buffer.Width(), 0);
    EXPECT_EQ(buffer.Height(), 0);
}

TEST(cDIBSection, RowLengthIsThreeBytesAPixelRoundedUpToFour) {
    const int expected[] = {4, 8, 12, 12, 16};
    for (int width = 1; width <= 5; ++width) {
        cDIBSection buffer;
        ASSERT_TRUE(buffer.Create(width, 2));
        EXPECT_EQ(buffer.BytesPerScanLine(), expected[width - 1]) << "width " << width;
        EXPECT_EQ(imageSize(buffer), static_cast<std::size_t>(2 * expected[width - 1]));
    }
}

TEST(cDIBSection, PictureOfHundredByFifty) {
    const auto p = makePicture(100, 50, 1);
    cDIBSection buffer;
    buffer.CreateFromPicture(p.picture);
    EXPECT_EQ(buffer.Width(), 100);
    EXPECT_EQ(buffer.Height(), 50);
    EXPECT_EQ(buffer.BytesPerScanLine(), 300);
    EXPECT_EQ(imageSize(buffer), 15000u);
    ASSERT_NE(buffer.DIBSectionBitsPtr(), nullptr);
    EXPECT_EQ(*buffer.DIBSectionBitsPtr(), patternColour(0, 49, 1) & 0xFF)
        << "the first byte is the blue of the bottom-left pixel";
}

class FromPicture : public ::testing::TestWithParam<std::tuple<int, bool, int>> {};

TEST_P(FromPicture, CopiesEveryPixelIntoTheBottomUpLayout) {
    const auto [bits, topDown, width] = GetParam();
    const auto p = makePicture(width, 7, 2, bits, topDown);
    cDIBSection buffer;
    buffer.CreateFromPicture(p.picture);
    ASSERT_EQ(buffer.Width(), width);
    ASSERT_EQ(buffer.Height(), 7);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(colourOf(buffer, x, y), patternColour(x, y, 2)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Formats, FromPicture,
                         ::testing::Combine(::testing::Values(24, 32), ::testing::Bool(),
                                            ::testing::Values(4, 5)));

TEST(cDIBSection, CreateWithoutPixelsFailsButReportsTheRequestedSize) {
    const int before = gdi::liveObjectCount();
    // Below 1 in either direction (a negative height would turn the rows over) there is no buffer.
    const std::pair<int, int> sizes[] = {{0, 5}, {5, 0}, {-3, 4}, {4, -4}};
    for (const auto& [width, height] : sizes) {
        cDIBSection buffer;
        ASSERT_TRUE(buffer.Create(3, 3));
        EXPECT_FALSE(buffer.Create(width, height));
        EXPECT_TRUE(isEmpty(buffer));
        EXPECT_EQ(buffer.Width(), width);
        EXPECT_EQ(buffer.Height(), height);
        EXPECT_EQ(gdi::liveObjectCount(), before);
    }
}

TEST(cDIBSection, ClearUpReleasesTheHandlesButKeepsTheSize) {
    const int before = gdi::liveObjectCount();
    cDIBSection buffer;
    ASSERT_TRUE(buffer.Create(6, 4));
    EXPECT_EQ(gdi::liveObjectCount(), before + 2);
    const gdi::HBITMAP section = buffer.hDib();
    buffer.ClearUp();
    EXPECT_TRUE(isEmpty(buffer));
    EXPECT_EQ(buffer.Width(), 6);
    EXPECT_EQ(buffer.Height(), 4);
    EXPECT_EQ(buffer.BytesPerScanLine(), 20);
    EXPECT_EQ(gdi::liveObjectCount(), before);
    EXPECT_EQ(gdi::GetObjectA(section, sizeof(gdi::BITMAP), nullptr), 0);
    buffer.ClearUp();
    EXPECT_TRUE(isEmpty(buffer));
    buffer.RandomiseBits(true); // no pixel memory: nothing is written
    buffer.RandomiseBits(false);
}

TEST(cDIBSection, DestructionReleasesEverything) {
    const int before = gdi::liveObjectCount();
    {
        auto shared = std::make_shared<cDIBSection>();
        ASSERT_TRUE(shared->Create(8, 8));
        const auto other = shared;
        shared.reset();
        EXPECT_NE(other->hDib(), 0) << "alive while a reference remains";
    }
    EXPECT_EQ(gdi::liveObjectCount(), before);
}

TEST(cDIBSection, CreateReleasesTheOldSectionBeforeMakingTheNew) {
    const int before = gdi::liveObjectCount();
    cDIBSection buffer;
    ASSERT_TRUE(buffer.Create(1000, 1000));
    const gdi::HBITMAP old = buffer.hDib();
    std::uint8_t* const oldBits = buffer.DIBSectionBitsPtr();
    std::memset(oldBits, 0x5A, static_cast<std::size_t>(buffer.BytesPerScanLine()) * 1000);
    ASSERT_TRUE(buffer.Create(1000, 1000));
    EXPECT_EQ(gdi::GetObjectA(old, sizeof(gdi::BITMAP), nullptr), 0);
    EXPECT_EQ(gdi::liveObjectCount(), before + 2);
    EXPECT_EQ(buffer.DIBSectionBitsPtr(), oldBits)
        << "the old pixel memory was free again when the new section was made";
    EXPECT_EQ(*std::max_element(oldBits, oldBits + 3000 * 1000), 0) << "and came back cleared";
}

TEST(cDIBSection, RefillWithSmallerPictureLeavesNothingOfTheOld) {
    const auto big = makePicture(40, 30, 3);
    const auto small = makePicture(21, 10, 4);
    cDIBSection buffer;
    buffer.CreateFromPicture(big.picture);
    buffer.CreateFromPicture(small.picture);
    ASSERT_EQ(buffer.Width(), 21);
    ASSERT_EQ(buffer.Height(), 10);
    const int stride = buffer.BytesPerScanLine();
    for (int r = 0; r < 10; ++r) {
        const std::uint8_t* row = buffer.DIBSectionBitsPtr() + r * stride;
        for (int x = 0; x < 21; ++x)
            ASSERT_EQ(colourOf(buffer, x, 9 - r), patternColour(x, 9 - r, 4));
        for (int b = 63; b < stride; ++b)
            EXPECT_EQ(row[b], 0) << "padding of row " << r;
    }
}

TEST(cDIBSection, PictureThatIsNoBitmapLeavesTheBufferEmpty) {
    cDIBSection buffer;
    ASSERT_TRUE(buffer.Create(5, 5));
    buffer.CreateFromPicture(std::make_shared<platform::Picture>(0));
    EXPECT_TRUE(isEmpty(buffer));
    EXPECT_EQ(buffer.Width(), 0);
    EXPECT_EQ(buffer.Height(), 0);
    buffer.CreateFromPicture(nullptr);
    EXPECT_TRUE(isEmpty(buffer));
}

TEST(cDIBSection, APictureThatCannotBeCopiedLeavesNoBufferRatherThanStalePixels) {
    // A large buffer whose memory goes back to the drawing layer's pool, full of its picture.
    const auto first = makePicture(1000, 1000, 5);
    cDIBSection buffer;
    buffer.CreateFromPicture(first.picture);
    ASSERT_EQ(buffer.Width(), 1000);

    // The next picture's bitmap is held by another device context, so it cannot be selected to
    // be copied from.
    const auto second = makePicture(1000, 1000, 6);
    const gdi::MemoryDC holder(gdi::CreateCompatibleDC(0));
    const gdi::Selection held(holder.get(), second.dib.handle);
    ASSERT_TRUE(held);
    buffer.CreateFromPicture(second.picture);
    EXPECT_TRUE(isEmpty(buffer)) << "the writer would get the first picture's pixels again";
}

TEST(cDIBSection, ThousandRefillsLeakNothing) {
    const int before = gdi::liveObjectCount();
    {
        cDIBSection buffer;
        for (int i = 0; i < 1000; ++i) {
            const int width = 1 + i * 7 % 61;
            const int height = 1 + i * 13 % 37;
            const auto p = makePicture(width, height, i, i % 2 ? 24 : 32, i % 3 == 0);
            buffer.CreateFromPicture(p.picture);
            ASSERT_EQ(buffer.Width(), width);
            ASSERT_EQ(colourOf(buffer, width - 1, 0), patternColour(width - 1, 0, i));
            ASSERT_EQ(colourOf(buffer, 0, height - 1), patternColour(0, height - 1, i));
            ASSERT_EQ(gdi::liveObjectCount(), before + 3) << "picture, section and memory DC";
        }
    }
    EXPECT_EQ(gdi::liveObjectCount(), before);
}

TEST(cDIBSection, LoadPictureBltTakesMinusOneForTheFullSizeAndZeroForNothing) {
    const auto p = makePicture(8, 6, 5);
    const gdi::MemoryDC dc;
    const gdi::Selection selected(dc.get(), p.dib.handle);
    cDIBSection buffer;
    ASSERT_TRUE(buffer.Create(6, 4));
    const std::size_t size = static_cast<std::size_t>(buffer.BytesPerScanLine()) * 4;
    const std::vector<std::uint8_t> zero(size);
    const auto bytes = [&] {
        return std::vector<std::uint8_t>(buffer.DIBSectionBitsPtr(),
                                         buffer.DIBSectionBitsPtr() + size);
    };
    buffer.LoadPictureBlt(dc.get(), 0, 0, 0, -1);
    EXPECT_EQ(bytes(), zero);
    buffer.LoadPictureBlt(dc.get(), 0, 0, -1, 0);
    EXPECT_EQ(bytes(), zero);

    buffer.LoadPictureBlt(dc.get(), 2, 1, -1, 2);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(colourOf(buffer, x, y), y < 2 ? patternColour(x + 2, y + 1, 5) : 0u)
                << x << "," << y;
    buffer.LoadPictureBlt(dc.get(), 0, 0, 6, 4, gdi::NOTSRCCOPY);
    EXPECT_EQ(colourOf(buffer, 5, 3), ~patternColour(5, 3, 5) & 0xFFFFFF)
        << "the operation is passed on";
}

TEST(cDIBSection, PaintPictureCopiesTheBufferOut) {
    const auto p = makePicture(5, 4, 6);
    cDIBSection buffer;
    buffer.CreateFromPicture(p.picture);
    const auto target = makeDib(9, 9, 32, true);
    const gdi::OwnedBitmap owner(target.handle);
    const gdi::MemoryDC dc;
    const gdi::Selection selected(dc.get(), target.handle);

    buffer.PaintPicture(dc.get(), 3, 2, 0, -1);
    EXPECT_TRUE(
        std::all_of(target.bits, target.bits + target.byteCount(), [](auto b) { return b == 0; }));
    buffer.PaintPicture(dc.get(), 3, 2);
    buffer.PaintPicture(dc.get(), 0, 0, 2, -1, 3, 0);
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 9; ++x) {
            std::uint32_t expected = 0;
            if (x < 2 && y < 4)
                expected = patternColour(x + 3, y, 6);
            else if (x >= 3 && x < 8 && y >= 2 && y < 6)
                expected = patternColour(x - 3, y - 2, 6);
            EXPECT_EQ(target.colour(x, y), expected) << x << "," << y;
        }
    }
}

TEST(cDIBSection, CopyToClipboardAsDibOnlyExplains) {
    testsupport::MessageBoxes boxes;
    const auto p = makePicture(4, 3, 7);
    cDIBSection buffer;
    buffer.CreateFromPicture(p.picture);
    const int before = gdi::liveObjectCount();
    EXPECT_FALSE(buffer.CopyToClipboard());
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.shown()[0].prompt,
              QStringLiteral(
                  "I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!"));
    EXPECT_EQ(boxes.shown()[0].style, platform::vbOKOnly);
    EXPECT_EQ(boxes.shown()[0].title, QStringLiteral("Kalmora"));
    EXPECT_EQ(gdi::liveObjectCount(), before);
}

TEST(cDIBSection, CopyToClipboardAsBitmapPlacesTheBuffersPixels) {
    testsupport::MessageBoxes boxes;
    const int before = gdi::liveObjectCount();
    {
        const auto p = makePicture(7, 5, 8);
        cDIBSection buffer;
        buffer.CreateFromPicture(p.picture);
        ASSERT_TRUE(buffer.CopyToClipboard(false));
        ASSERT_TRUE(buffer.CopyToClipboard(false)) << "again: the last copy is replaced";
        const QImage image = QGuiApplication::clipboard()->image();
        ASSERT_EQ(image.size(), QSize(7, 5));
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                ASSERT_EQ(image.pixel(x, y) & 0xFFFFFF, patternColour(x, y, 8));
    }
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_EQ(gdi::liveObjectCount(), before + 1) << "the clipboard's bitmap, nothing else";
    ASSERT_TRUE(gdi::OpenClipboard(0));
    gdi::EmptyClipboard();
    gdi::CloseClipboard();
    EXPECT_EQ(gdi::liveObjectCount(), before);

    cDIBSection empty;
    EXPECT_FALSE(empty.CopyToClipboard(false)) << "no bitmap of 0 x 0";
    EXPECT_EQ(gdi::liveObjectCount(), before);
}

TEST(cDIBSection, OverflowOfRowLengthOrImageSizeRaisesErrorSix) {
    const int before = gdi::liveObjectCount();
    {
        cDIBSection buffer;
        EXPECT_EQ(errorNumber([&] { buffer.Create(800'000'000, 1); }), platform::ErrOverflow);
        EXPECT_EQ(errorNumber([&] { buffer.BytesPerScanLine(); }), platform::ErrOverflow);
        EXPECT_EQ(errorNumber([&] { buffer.Create(100'000, 100'000); }), platform::ErrOverflow);
        EXPECT_EQ(buffer.hDib(), 0);
        EXPECT_EQ(errorNumber([&] { buffer.Create(0x7FFFFFFF, 1); }), platform::ErrOverflow);
    }
    EXPECT_EQ(gdi::liveObjectCount(), before) << "the memory DC goes with the buffer";
}

// Grey: row by row, one draw per pixel. Colour: column by column, blue 0, green then red.
TEST(cDIBSection, RandomiseBitsDrawsInItsLoopOrderAndLeavesPaddingAlone) {
    constexpr int width = 5, height = 3, stride = 16;
    for (const bool grey : {true, false}) {
        cDIBSection buffer;
        ASSERT_TRUE(buffer.Create(width, height));
        std::uint8_t* const bits = buffer.DIBSectionBitsPtr();
        std::memset(bits, 0xAB, stride * height);
        buffer.RandomiseBits(grey, 1234.5f);

        UniformRandom random(1234.5f);
        const auto draw = [&] {
            return static_cast<std::uint8_t>(std::nearbyint(random.next() * 255.0));
        };
        std::vector<std::uint8_t> expected(stride * height, 0xAB);
        if (grey) {
            for (int r = 0; r < height; ++r)
                for (int x = 0; x < width; ++x)
                    std::fill_n(&expected[r * stride + 3 * x], 3, draw());
        } else {
            for (int x = 0; x < width; ++x) {
                for (int r = 0; r < height; ++r) {
                    expected[r * stride + 3 * x] = 0;
                    expected[r * stride + 3 * x + 1] = draw();
                    expected[r * stride + 3 * x + 2] = draw();
                }
            }
        }
        EXPECT_EQ(std::vector<std::uint8_t>(bits, bits + stride * height), expected)
            << (grey ? "grey" : "colour");
    }
}

TEST(cDIBSection, RandomiseBitsFromTheClockGivesGreysOrBlueZero) {
    cDIBSection buffer;
    ASSERT_TRUE(buffer.Create(33, 20));
    const int stride = buffer.BytesPerScanLine();
    std::uint8_t* const bits = buffer.DIBSectionBitsPtr();
    std::memset(bits, 0xAB, static_cast<std::size_t>(stride) * 20);
    buffer.RandomiseBits(true);
    int distinct = 0;
    for (int r = 0; r < 20; ++r) {
        const std::uint8_t* row = bits + r * stride;
        for (int x = 0; x < 33; ++x) {
            ASSERT_EQ(row[3 * x], row[3 * x + 1]);
            ASSERT_EQ(row[3 * x], row[3 * x + 2]);
            distinct += x > 0 && row[3 * x] != row[3 * x - 3];
        }
        EXPECT_EQ(row[99], 0xAB) << "padding";
    }
    EXPECT_GT(distinct, 300) << "the greys are random";

    buffer.RandomiseBits();
    for (int r = 0; r < 20; ++r) {
        const std::uint8_t* row = bits + r * stride;
        for (int x = 0; x < 33; ++x)
            ASSERT_EQ(row[3 * x], 0);
        EXPECT_EQ(row[99], 0xAB) << "padding";
    }
}
