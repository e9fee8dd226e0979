#include "platform/gdi/gdi.h"
#include "platform/gdi/gdihandles.h"
#include "platform/gdi/pixelmemory.h"
#include "support/dibs.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

using namespace gdi;
using testsupport::makeDib;

namespace {

BITMAP describe(HGDIOBJ object) {
    BITMAP bm;
    EXPECT_EQ(GetObjectA(object, sizeof bm, &bm), static_cast<int>(sizeof bm));
    return bm;
}

BITMAPINFOHEADER header(int width, int height, int bitCount) {
    BITMAPINFOHEADER h;
    h.biSize = sizeof h;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<std::uint16_t>(bitCount);
    return h;
}

} // namespace

TEST(Gdi, MemoryDcStartsWithTheSharedUncountedStockBitmap) {
    const int before = liveObjectCount();
    const HDC a = CreateCompatibleDC(0);
    const HDC b = CreateCompatibleDC(a);
    ASSERT_NE(a, 0);
    ASSERT_NE(b, 0);
    EXPECT_EQ(liveObjectCount(), before + 2);

    const auto dib = makeDib(3, 2);
    const HGDIOBJ stockA = SelectObject(a, dib.handle);
    const HGDIOBJ stockB = SelectObject(b, stockA); // the stock bitmap fits into any number of DCs
    EXPECT_NE(stockA, 0);
    EXPECT_EQ(stockB, stockA);
    const BITMAP bm = describe(stockA);
    EXPECT_EQ(bm.bmWidth, 1);
    EXPECT_EQ(bm.bmHeight, 1);
    EXPECT_FALSE(DeleteObject(stockA));
    EXPECT_EQ(liveObjectCount(), before + 3);

    EXPECT_EQ(SelectObject(a, stockA), dib.handle);
    EXPECT_TRUE(DeleteObject(dib.handle));
    EXPECT_TRUE(DeleteDC(a));
    EXPECT_TRUE(DeleteDC(b));
    EXPECT_EQ(liveObjectCount(), before);
    EXPECT_EQ(describe(stockA).bmWidth, 1) << "the stock bitmap survives every DC";
}

TEST(Gdi, SelectedBitmapCannotBeDeletedUntilSelectedOutOrItsDcIsGone) {
    const int before = liveObjectCount();
    const auto dib = makeDib(4, 4);
    const HDC dc = CreateCompatibleDC(0);
    const HGDIOBJ previous = SelectObject(dc, dib.handle);
    EXPECT_FALSE(DeleteObject(dib.handle));
    EXPECT_EQ(SelectObject(dc, previous), dib.handle);
    EXPECT_EQ(SelectObject(dc, dib.handle), previous);
    EXPECT_TRUE(DeleteDC(dc)) << "a DC may go with a bitmap selected";
    EXPECT_TRUE(DeleteObject(dib.handle)) << "and frees the bitmap";
    EXPECT_EQ(liveObjectCount(), before);
}

TEST(Gdi, BitmapLivesInOneDcAtATime) {
    const auto dib = makeDib(2, 2);
    const OwnedBitmap owner(dib.handle); // declared first: deleted after the DCs are gone
    const MemoryDC first;
    const MemoryDC second;
    const Selection held(first.get(), dib.handle);
    EXPECT_EQ(SelectObject(second.get(), dib.handle), 0);
    EXPECT_EQ(SelectObject(first.get(), dib.handle), dib.handle) << "reselecting keeps it";
    EXPECT_EQ(SelectObject(second.get(), 0), 0) << "0 is no bitmap";
}

TEST(Gdi, StaleAndForeignHandlesAreRefused) {
    const auto dib = makeDib(2, 2);
    const HDC dc = CreateCompatibleDC(0);
    ASSERT_TRUE(DeleteObject(dib.handle));
    EXPECT_FALSE(DeleteObject(dib.handle));
    EXPECT_EQ(GetObjectA(dib.handle, sizeof(BITMAP), nullptr), 0);
    EXPECT_EQ(SelectObject(dc, dib.handle), 0);
    EXPECT_FALSE(DeleteObject(dc)) << "a DC is no bitmap";
    EXPECT_EQ(GetObjectA(dc, sizeof(BITMAP), nullptr), 0);
    EXPECT_EQ(CreateCompatibleDC(dib.handle), 0);
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(DeleteDC(dc));
}

struct DibFormat {
    int width, height, bitCount;
};
class DibSections : public ::testing::TestWithParam<DibFormat> {};

TEST_P(DibSections, AreZeroedAndDescribedWhateverTheRowOrder) {
    const auto [width, height, bitCount] = GetParam();
    for (const int signedHeight : {height, -height}) {
        const BITMAPINFOHEADER h = header(width, signedHeight, bitCount);
        void* bits = nullptr;
        const OwnedBitmap dib(CreateDIBSection(0, &h, DIB_RGB_COLORS, &bits, 0, 0));
        ASSERT_TRUE(dib);
        const int stride = (width * bitCount + 31) / 32 * 4;
        const auto* bytes = static_cast<const std::uint8_t*>(bits);
        EXPECT_TRUE(std::all_of(bytes, bytes + stride * height, [](auto b) { return b == 0; }));
        const BITMAP bm = describe(dib.get());
        EXPECT_EQ(bm.bmWidth, width);
        EXPECT_EQ(bm.bmHeight, height);
        EXPECT_EQ(bm.bmWidthBytes, stride);
        EXPECT_EQ(bm.bmBitsPixel, bitCount);
        EXPECT_EQ(bm.bmPlanes, 1);
        EXPECT_EQ(bm.bmBits, bits);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, DibSections,
                         ::testing::Values(DibFormat{1, 1, 24}, DibFormat{5, 3, 24},
                                           DibFormat{5, 3, 32}, DibFormat{1000, 1200, 24},
                                           DibFormat{700, 900, 32}));

TEST(Gdi, DibSectionRefusesWhatItCannotHold) {
    struct Case {
        BITMAPINFOHEADER h;
        std::uint32_t usage;
        HANDLE section;
    };
    BITMAPINFOHEADER compressed = header(4, 4, 24);
    compressed.biCompression = 1;
    BITMAPINFOHEADER shortHeader = header(4, 4, 24);
    shortHeader.biSize = 12;
    const Case cases[] = {{header(0, 4, 24), DIB_RGB_COLORS, 0},
                          {header(4, 0, 24), DIB_RGB_COLORS, 0},
                          {header(-4, 4, 24), DIB_RGB_COLORS, 0},
                          {header(4, 4, 8), DIB_RGB_COLORS, 0},
                          {header(4, 4, 16), DIB_RGB_COLORS, 0},
                          {compressed, DIB_RGB_COLORS, 0},
                          {shortHeader, DIB_RGB_COLORS, 0},
                          {header(4, 4, 24), 1, 0},
                          {header(4, 4, 24), DIB_RGB_COLORS, 7},
                          {header(100000, 100000, 24), DIB_RGB_COLORS, 0},
                          {header(30000, -30000, 32), DIB_RGB_COLORS, 0}};
    const int before = liveObjectCount();
    for (const Case& c : cases) {
        void* bits = &bits;
        EXPECT_EQ(CreateDIBSection(0, &c.h, c.usage, &bits, c.section, 0), 0)
            << c.h.biWidth << "x" << c.h.biHeight << "x" << c.h.biBitCount;
        EXPECT_EQ(bits, nullptr);
    }
    EXPECT_EQ(liveObjectCount(), before);
}

TEST(Gdi, CompatibleBitmapHasTheScreenFormat) {
    const ScreenDC screen;
    ASSERT_TRUE(screen);
    const OwnedBitmap bitmap(CreateCompatibleBitmap(screen.get(), 7, 5));
    ASSERT_TRUE(bitmap);
    const BITMAP bm = describe(bitmap.get());
    EXPECT_EQ(bm.bmWidth, 7);
    EXPECT_EQ(bm.bmHeight, 5);
    EXPECT_EQ(bm.bmBitsPixel, 32);
    EXPECT_EQ(bm.bmWidthBytes, 28);
    EXPECT_EQ(bm.bmBits, nullptr) << "a device-dependent bitmap shows no pixel address";
    EXPECT_EQ(CreateCompatibleBitmap(0, 7, 5), 0);
    EXPECT_EQ(CreateCompatibleBitmap(screen.get(), 0, 5), 0);
}

TEST(Gdi, DesktopDcIsBorrowedCountedAndHasNoPixels) {
    const int before = liveObjectCount();
    const HWND desktop = GetDesktopWindow();
    ASSERT_NE(desktop, 0);
    const HDC screen = GetDC(desktop);
    ASSERT_NE(screen, 0);
    EXPECT_EQ(liveObjectCount(), before + 1);
    EXPECT_FALSE(DeleteDC(screen)) << "a borrowed DC goes back through ReleaseDC";

    const auto dib = makeDib(4, 4);
    const OwnedBitmap owner(dib.handle);
    EXPECT_EQ(SelectObject(screen, dib.handle), 0);
    const MemoryDC memory(screen);
    const Selection selected(memory.get(), dib.handle);
    EXPECT_FALSE(BitBlt(screen, 0, 0, 4, 4, memory.get(), 0, 0, SRCCOPY));
    EXPECT_FALSE(BitBlt(memory.get(), 0, 0, 4, 4, screen, 0, 0, SRCCOPY));
    EXPECT_TRUE(BitBlt(memory.get(), 0, 0, 4, 4, screen, 0, 0, WHITENESS))
        << "an operation without source never looks at it";

    EXPECT_EQ(ReleaseDC(desktop, memory.get()), 0) << "only borrowed DCs are given back";
    EXPECT_EQ(ReleaseDC(desktop, screen), 1);
    EXPECT_EQ(ReleaseDC(desktop, screen), 0);
    EXPECT_EQ(GetDC(desktop + 1), 0);
}

TEST(PixelMemory, LargeBlocksAreRecycledClearedAndThePoolStaysSmall) {
    const int limit = recycledBlockLimit();
    ASSERT_GE(limit, 1);
    setRecycledBlockLimit(0); // start from an empty pool
    EXPECT_EQ(recycledBytes(), 0u);
    setRecycledBlockLimit(limit);
    const auto first = makeDib(1000, 1000, 24);
    std::memset(first.bits, 0xFF, first.byteCount());
    std::uint8_t* const address = first.bits;
    ASSERT_TRUE(DeleteObject(first.handle));

    const auto second = makeDib(1000, 1000, 24, true);
    EXPECT_EQ(second.bits, address) << "the freed block is handed out again";
    EXPECT_TRUE(
        std::all_of(second.bits, second.bits + second.byteCount(), [](auto b) { return b == 0; }));
    ASSERT_TRUE(DeleteObject(second.handle));

    std::size_t largest = second.byteCount();
    for (int i = 0; i < 40; ++i) {
        const auto dib = makeDib(600 + 37 * i, 700 + 11 * (i % 7), i % 2 ? 24 : 32);
        largest = std::max(largest, dib.byteCount());
        ASSERT_TRUE(DeleteObject(dib.handle));
        EXPECT_LE(recycledBytes(), static_cast<std::size_t>(limit) * (largest + 4096));
    }
}

TEST(PixelMemory, ASectionToOverwriteSkipsTheClearButNeverTheRowPadding) {
    // 1001 pixels of 3 bytes leave one byte of padding at the end of each row.
    constexpr int width = 1001, height = 1000;
    const BITMAPINFOHEADER h = header(width, height, 24);
    const auto first = makeDib(width, height, 24);
    std::memset(first.bits, 0xAB, first.byteCount());
    std::uint8_t* const address = first.bits;
    ASSERT_TRUE(DeleteObject(first.handle));

    {
        void* bits = nullptr;
        const OwnedBitmap reused(CreateDIBSectionToOverwrite(&h, &bits));
        ASSERT_NE(reused.get(), 0);
        ASSERT_EQ(bits, address) << "the freed block is handed out again";
        const BITMAP bm = describe(reused.get());
        ASSERT_EQ(bm.bmWidthBytes, 3004);
        const auto* const bytes = static_cast<const std::uint8_t*>(bits);
        for (int row = 0; row < height; ++row) {
            const std::uint8_t* const line = bytes + static_cast<std::size_t>(row) * 3004;
            ASSERT_EQ(line[0], 0xAB) << "row " << row << " was cleared for nothing";
            ASSERT_EQ(line[width * 3], 0) << "row " << row << " keeps an earlier bitmap's padding";
        }
    }

    // An ordinary section made from the same block afterwards is black again.
    const auto black = makeDib(width, height, 24);
    EXPECT_EQ(black.bits, address);
    EXPECT_TRUE(
        std::all_of(black.bits, black.bits + black.byteCount(), [](auto b) { return b == 0; }));
    ASSERT_TRUE(DeleteObject(black.handle));
}

TEST(PixelMemory, MadeOnAnotherThreadASectionAdoptsItWithoutACopy) {
    const BITMAPINFOHEADER h = header(1001, 700, 24);
    PixelMemory memory;
    std::thread([&] { memory = AllocateDIBPixels(&h, PixelMemory::Contents::Undefined); }).join();
    ASSERT_TRUE(memory);
    std::uint8_t* const address = memory.data();
    EXPECT_EQ(memory.data()[1001 * 3], 0) << "the row padding is always zeroed";
    const int before = liveObjectCount();
    void* bits = nullptr;
    const OwnedBitmap adopted(AdoptDIBSection(&h, std::move(memory), &bits));
    EXPECT_NE(adopted.get(), 0);
    EXPECT_EQ(bits, address);
    EXPECT_EQ(describe(adopted.get()).bmWidthBytes, 3004);
    // Memory made for another size is refused, and freed.
    const BITMAPINFOHEADER other = header(1000, 700, 24);
    EXPECT_EQ(AdoptDIBSection(&other, AllocateDIBPixels(&h), &bits), 0);
    EXPECT_EQ(bits, nullptr);
    EXPECT_EQ(liveObjectCount(), before + 1);
}

TEST(Clipboard, TakesABitmapAsImageAndFreesItWhenEmptiedNext) {
    const int before = liveObjectCount();
    auto dib = makeDib(3, 2, 24);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            dib.setColour(x, y, testsupport::patternColour(x, y, 1));

    EXPECT_EQ(SetClipboardData(CF_BITMAP, dib.handle), 0) << "the clipboard is not open";
    ASSERT_TRUE(OpenClipboard(0));
    EXPECT_FALSE(OpenClipboard(0));
    ASSERT_TRUE(EmptyClipboard());
    EXPECT_EQ(SetClipboardData(CF_DIB, dib.handle), 0);
    {
        const MemoryDC dc;
        const Selection selected(dc.get(), dib.handle);
        EXPECT_EQ(SetClipboardData(CF_BITMAP, dib.handle), 0) << "a selected bitmap stays";
    }
    EXPECT_EQ(SetClipboardData(CF_BITMAP, dib.handle), dib.handle);
    EXPECT_TRUE(CloseClipboard());
    EXPECT_FALSE(CloseClipboard());

    const QImage image = QGuiApplication::clipboard()->image();
    ASSERT_EQ(image.size(), QSize(3, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(image.pixel(x, y) & 0xFFFFFF, testsupport::patternColour(x, y, 1));

    EXPECT_FALSE(DeleteObject(dib.handle)) << "the clipboard owns it now";
    EXPECT_EQ(liveObjectCount(), before + 1);
    ASSERT_TRUE(OpenClipboard(0));
    EXPECT_TRUE(EmptyClipboard());
    EXPECT_TRUE(CloseClipboard());
    EXPECT_EQ(liveObjectCount(), before);
    EXPECT_EQ(GetObjectA(dib.handle, sizeof(BITMAP), nullptr), 0);
}
