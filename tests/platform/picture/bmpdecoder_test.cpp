#include "platform/errors/runtimeerror.h"
#include "platform/picture/bmpdecoder.h"
#include "support/errornumber.h"
#include "support/picturesamples.h"

#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

using platform::decodeBmp;
using platform::looksLikeBmp;
using namespace testsupport;

namespace {

constexpr std::uint32_t BiRgb = 0, BiRle8 = 1, BiRle4 = 2, BiBitFields = 3, BiAlphaBitFields = 6;

class Writer {
public:
    void u8(std::uint32_t v) { bytes.push_back(static_cast<char>(v & 0xFF)); }
    void u16(std::uint32_t v) {
        u8(v);
        u8(v >> 8);
    }
    void u32(std::uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void pad(std::size_t multiple) {
        while (bytes.size() % multiple)
            u8(0);
    }
    QByteArray bytes;
};

// A bitmap file written field by field, so that every variant (and every lie) can be made.
struct Bmp {
    int headerSize = 40;
    int width = SampleWidth;
    int height = SampleHeight;
    int planes = 1;
    int bits = 24;
    std::uint32_t compression = BiRgb;
    std::vector<std::uint32_t> masks{}; // after a 40-byte header, inside a larger one
    int colours = 0;                    // palette entries written: the sample colours
    bool topDown = false;
    bool fileHeader = true;
    QByteArray pixels{};

    QByteArray file() const {
        Writer header;
        header.u32(static_cast<std::uint32_t>(headerSize));
        if (headerSize == 12) {
            header.u16(static_cast<std::uint32_t>(width));
            header.u16(static_cast<std::uint32_t>(height));
            header.u16(static_cast<std::uint32_t>(planes));
            header.u16(static_cast<std::uint32_t>(bits));
        } else {
            header.u32(static_cast<std::uint32_t>(width));
            header.u32(static_cast<std::uint32_t>(topDown ? -height : height));
            header.u16(static_cast<std::uint32_t>(planes));
            header.u16(static_cast<std::uint32_t>(bits));
            if (headerSize > 16) {
                header.u32(compression);
                header.u32(static_cast<std::uint32_t>(pixels.size()));
                header.u32(2835);
                header.u32(2835);
                header.u32(static_cast<std::uint32_t>(colours));
                header.u32(0);
            }
            for (const std::uint32_t mask : masks)
                header.u32(mask);
            while (header.bytes.size() < headerSize)
                header.u8(0);
            header.bytes.truncate(std::max(headerSize, 40 + 4 * static_cast<int>(masks.size())));
        }
        for (int i = 0; i < colours; ++i) {
            const QRgb c = i < 8 ? sampleColour(i) : qRgb(0, 0, 0);
            header.u8(qBlue(c));
            header.u8(qGreen(c));
            header.u8(qRed(c));
            if (headerSize != 12)
                header.u8(0);
        }
        if (!fileHeader)
            return header.bytes + pixels;
        Writer file;
        file.u16(0x4D42);
        file.u32(static_cast<std::uint32_t>(14 + header.bytes.size() + pixels.size()));
        file.u32(0);
        file.u32(static_cast<std::uint32_t>(14 + header.bytes.size()));
        return file.bytes + header.bytes + pixels;
    }
};

// Rows of the sample picture in file order, each made by `row(y)`, padded to 4 bytes.
QByteArray rowsOf(const std::function<void(Writer&, int y)>& row, bool topDown = false) {
    Writer out;
    for (int i = 0; i < SampleHeight; ++i) {
        row(out, topDown ? i : SampleHeight - 1 - i);
        out.pad(4);
    }
    return out.bytes;
}

QByteArray indexed(int bits, int colours, bool topDown = false) {
    return rowsOf(
        [=](Writer& out, int y) {
            std::uint32_t acc = 0;
            int used = 0;
            for (int x = 0; x < SampleWidth; ++x) {
                acc = acc << bits | static_cast<std::uint32_t>(sampleIndex(x, y) % colours);
                used += bits;
                if (used == 8) {
                    out.u8(acc);
                    acc = 0;
                    used = 0;
                }
            }
            if (used)
                out.u8(acc << (8 - used));
        },
        topDown);
}

// Direct colours: every channel of the sample colours is 0 or 255, so it is 0 or its whole mask.
QByteArray direct(int bits, std::vector<std::uint32_t> masks, std::uint32_t alphaBits = 0) {
    return rowsOf([=](Writer& out, int y) {
        for (int x = 0; x < SampleWidth; ++x) {
            const QRgb c = sampleColour(sampleIndex(x, y));
            if (bits == 24) {
                out.u8(qBlue(c));
                out.u8(qGreen(c));
                out.u8(qRed(c));
                continue;
            }
            const std::uint32_t value = (qRed(c) ? masks[0] : 0) | (qGreen(c) ? masks[1] : 0) |
                                        (qBlue(c) ? masks[2] : 0) | alphaBits;
            bits == 16 ? out.u16(value) : out.u32(value);
        }
    });
}

// Run-length rows: the first two pixels as runs of one, the other five as a literal run.
QByteArray runLength(bool four) {
    Writer out;
    for (int y = SampleHeight - 1; y >= 0; --y) {
        const auto index = [&](int x) { return static_cast<std::uint32_t>(sampleIndex(x, y)); };
        for (int x = 0; x < 2; ++x) {
            out.u8(1);
            out.u8(four ? index(x) << 4 : index(x));
        }
        out.u8(0);
        out.u8(5);
        for (int x = 2; x < SampleWidth; x += four ? 2 : 1)
            out.u8(four ? index(x) << 4 | (x + 1 < SampleWidth ? index(x + 1) : 0) : index(x));
        out.pad(2);
        out.u8(0);
        out.u8(0); // end of line
    }
    out.u8(0);
    out.u8(1); // end of bitmap
    return out.bytes;
}

void expectSample(const MemoryPicture& picture, int colours) {
    ASSERT_EQ(picture.width(), SampleWidth);
    ASSERT_EQ(picture.height(), SampleHeight);
    for (int y = 0; y < SampleHeight; ++y)
        for (int x = 0; x < SampleWidth; ++x)
            ASSERT_EQ(picture.pixel(x, y), sampleColour(sampleIndex(x, y) % colours))
                << "at " << x << ", " << y;
    EXPECT_TRUE(picture.paddingUntouched());
}

struct Variant {
    const char* name;
    Bmp bmp;
    int colours; // colours of the sample the file holds
};

class BmpVariants : public testing::TestWithParam<Variant> {};

TEST_P(BmpVariants, DecodeExactly) {
    const QByteArray file = GetParam().bmp.file();
    ASSERT_TRUE(looksLikeBmp(bytesOf(file)));
    MemoryPicture picture;
    decodeBmp(bytesOf(file), picture.allocator());
    expectSample(picture, GetParam().colours);
}

const std::vector<std::uint32_t> rgb555{0x7C00, 0x03E0, 0x001F};
const std::vector<std::uint32_t> rgb565{0xF800, 0x07E0, 0x001F};
const std::vector<std::uint32_t> argb8888{0xFF0000, 0xFF00, 0xFF, 0xFF000000};

INSTANTIATE_TEST_SUITE_P(
    Files, BmpVariants,
    testing::Values(
        Variant{"Pal1", {.bits = 1, .colours = 2, .pixels = indexed(1, 2)}, 2},
        Variant{"Pal2", {.bits = 2, .colours = 4, .pixels = indexed(2, 4)}, 4},
        Variant{"Pal4", {.bits = 4, .colours = 8, .pixels = indexed(4, 8)}, 8},
        Variant{"Pal8", {.bits = 8, .colours = 8, .pixels = indexed(8, 8)}, 8},
        Variant{"Pal8TopDown",
                {.bits = 8, .colours = 8, .topDown = true, .pixels = indexed(8, 8, true)},
                8},
        Variant{"Rle8",
                {.bits = 8, .compression = BiRle8, .colours = 8, .pixels = runLength(false)},
                8},
        Variant{
            "Rle4", {.bits = 4, .compression = BiRle4, .colours = 8, .pixels = runLength(true)}, 8},
        Variant{"Rgb16Default555", {.bits = 16, .pixels = direct(16, rgb555)}, 8},
        Variant{
            "Rgb16BitFields565",
            {.bits = 16, .compression = BiBitFields, .masks = rgb565, .pixels = direct(16, rgb565)},
            8},
        Variant{"Rgb24", {.bits = 24, .pixels = direct(24, {})}, 8},
        Variant{"Rgb24WithPalette", {.bits = 24, .colours = 8, .pixels = direct(24, {})}, 8},
        Variant{"Rgb32", {.bits = 32, .pixels = direct(32, {0xFF0000, 0xFF00, 0xFF})}, 8},
        Variant{"Rgb32UnusedByteSet",
                {.bits = 32, .pixels = direct(32, {0xFF0000, 0xFF00, 0xFF}, 0x5A000000)},
                8},
        Variant{"Rgb32BitFields111110",
                {.bits = 32,
                 .compression = BiBitFields,
                 .masks = {0xFFE00000, 0x001FFC00, 0x000003FF},
                 .pixels = direct(32, {0xFFE00000, 0x001FFC00, 0x000003FF})},
                8},
        Variant{"Rgb32AlphaBitFieldsOpaque",
                {.bits = 32,
                 .compression = BiAlphaBitFields,
                 .masks = argb8888,
                 .pixels = direct(32, argb8888, 0xFF000000)},
                8},
        Variant{"Rgb32AlphaMaskAllZeroIsOpaque",
                {.headerSize = 108,
                 .bits = 32,
                 .compression = BiBitFields,
                 .masks = argb8888,
                 .pixels = direct(32, argb8888)},
                8},
        Variant{"Os2Version1",
                {.headerSize = 12, .bits = 8, .colours = 256, .pixels = indexed(8, 8)},
                8},
        Variant{"Os2Version2Full",
                {.headerSize = 64, .bits = 4, .colours = 8, .pixels = indexed(4, 8)},
                8},
        Variant{"V3Header",
                {.headerSize = 56,
                 .bits = 16,
                 .compression = BiBitFields,
                 .masks = {0xF800, 0x07E0, 0x001F, 0},
                 .pixels = direct(16, rgb565)},
                8},
        Variant{
            "V5Header", {.headerSize = 124, .bits = 8, .colours = 8, .pixels = indexed(8, 8)}, 8},
        Variant{"DibWithoutFileHeader",
                {.bits = 16,
                 .compression = BiBitFields,
                 .masks = rgb565,
                 .fileHeader = false,
                 .pixels = direct(16, rgb565)},
                8}),
    [](const auto& info) { return std::string(info.param.name); });

int errorOf(const QByteArray& file, MemoryPicture& picture) {
    return errorNumber([&] { decodeBmp(bytesOf(file), picture.allocator()); });
}

TEST(BmpDecoder, Os2ShortHeaderTakesAFullPalette) {
    // A 16-byte OS/2 header cannot say how many colours it uses: all 2^bits entries follow.
    Bmp bmp{.headerSize = 16, .bits = 4, .colours = 16, .pixels = indexed(4, 8)};
    MemoryPicture picture;
    decodeBmp(bytesOf(bmp.file()), picture.allocator());
    expectSample(picture, 8);
}

TEST(BmpDecoder, AlphaIsLaidOntoWhite) {
    Bmp bmp{.width = 3, .height = 1, .bits = 32, .compression = BiBitFields, .masks = argb8888};
    Writer pixels;
    pixels.u32(0xFFFF0000); // opaque red
    pixels.u32(0x00FF0000); // transparent red
    pixels.u32(0x800000FF); // half-transparent blue
    bmp.headerSize = 108;
    bmp.pixels = pixels.bytes;
    MemoryPicture picture;
    decodeBmp(bytesOf(bmp.file()), picture.allocator());
    EXPECT_EQ(picture.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(picture.pixel(1, 0), qRgb(255, 255, 255));
    EXPECT_TRUE(near(picture.pixel(2, 0), qRgb(127, 127, 255), 1));
}

TEST(BmpDecoder, RunLengthSkipsStayWhiteAndOverlongRunsAreClipped) {
    Writer rle;
    for (const std::uint32_t b : {3u, 1u,           // three red pixels on the bottom row
                                  0u, 2u, 1u, 1u,   // move 1 right, 1 up
                                  200u, 2u,         // 200 green pixels: runs past the row's end
                                  0u, 0u,           // end of line
                                  0u, 2u, 0u, 255u, // move far past the top
                                  255u, 3u, 0u, 1u})
        rle.u8(b);
    Bmp bmp{.width = 5,
            .height = 4,
            .bits = 8,
            .compression = BiRle8,
            .colours = 8,
            .pixels = rle.bytes};
    MemoryPicture picture;
    ASSERT_EQ(errorOf(bmp.file(), picture), 0);
    const QRgb white = qRgb(255, 255, 255);
    EXPECT_EQ(picture.pixel(0, 3), qRgb(255, 0, 0));
    EXPECT_EQ(picture.pixel(3, 3), white);
    EXPECT_EQ(picture.pixel(4, 2), qRgb(0, 255, 0));
    EXPECT_EQ(picture.pixel(0, 2), white);
    EXPECT_EQ(picture.pixel(4, 0), white);
    EXPECT_TRUE(picture.paddingUntouched());
}

TEST(BmpDecoder, ATruncatedFileKeepsTheRowsItHasAndTheRestIsWhite) {
    Bmp bmp{.bits = 24, .pixels = direct(24, {})};
    const int rowBytes = 24; // 7 x 3 bytes padded to 4
    bmp.pixels.truncate(2 * rowBytes + 5);
    MemoryPicture picture;
    decodeBmp(bytesOf(bmp.file()), picture.allocator());
    for (int x = 0; x < SampleWidth; ++x) {
        EXPECT_EQ(picture.pixel(x, 4), sampleColour(sampleIndex(x, 4)));
        EXPECT_EQ(picture.pixel(x, 3), sampleColour(sampleIndex(x, 3)));
        EXPECT_EQ(picture.pixel(x, 0), qRgb(255, 255, 255));
    }
    EXPECT_EQ(picture.pixel(0, 2), sampleColour(sampleIndex(0, 2)));
    EXPECT_EQ(picture.pixel(2, 2), qRgb(255, 255, 255));
}

TEST(BmpDecoder, PaletteIndicesPastTheTableAreBlack) {
    Bmp bmp{.bits = 8, .colours = 2, .pixels = indexed(8, 8)};
    MemoryPicture picture;
    decodeBmp(bytesOf(bmp.file()), picture.allocator());
    for (int y = 0; y < SampleHeight; ++y)
        for (int x = 0; x < SampleWidth; ++x)
            EXPECT_EQ(picture.pixel(x, y),
                      sampleIndex(x, y) < 2 ? sampleColour(sampleIndex(x, y)) : qRgb(0, 0, 0));
}

struct Broken {
    const char* name;
    QByteArray file;
};

class BmpBroken : public testing::TestWithParam<Broken> {};

TEST_P(BmpBroken, IsNotAPictureAndTakesNoMemory) {
    MemoryPicture picture;
    EXPECT_EQ(errorOf(GetParam().file, picture), platform::ErrInvalidPicture);
    EXPECT_EQ(picture.allocations(), 0);
}

Bmp pal8() {
    return {.bits = 8, .colours = 8, .pixels = indexed(8, 8)};
}
QByteArray with(Bmp bmp, const std::function<void(Bmp&)>& change) {
    change(bmp);
    return bmp.file();
}

INSTANTIATE_TEST_SUITE_P(
    Headers, BmpBroken,
    testing::Values(Broken{"FileHeaderOnly", QByteArray("BM\0\0\0\0\0\0\0\0\0\0\0\0", 14)},
                    Broken{"NoPlanes", with(pal8(), [](Bmp& b) { b.planes = 0; })},
                    Broken{"BitCount3", with(pal8(), [](Bmp& b) { b.bits = 3; })},
                    Broken{"UnknownHeaderSize", with(pal8(), [](Bmp& b) { b.headerSize = 66; })},
                    Broken{"NoWidth", with(pal8(), [](Bmp& b) { b.width = 0; })},
                    Broken{"NegativeWidth", with(pal8(), [](Bmp& b) { b.width = -7; })},
                    Broken{"NoHeight", with(pal8(), [](Bmp& b) { b.height = 0; })},
                    Broken{"EmbeddedJpeg", with(pal8(), [](Bmp& b) { b.compression = 4; })},
                    Broken{"Rle8With4Bits",
                           with(pal8(), [](Bmp& b) { b.compression = BiRle8, b.bits = 4; })},
                    Broken{"RunLengthTopDown",
                           with(pal8(), [](Bmp& b) { b.compression = BiRle8, b.topDown = true; })},
                    Broken{"BitFieldsOn24Bits",
                           with(pal8(), [](Bmp& b) { b.bits = 24, b.compression = BiBitFields; })},
                    Broken{"NoPixelData", with(pal8(), [](Bmp& b) { b.pixels.clear(); })},
                    Broken{"Claims60000x60000",
                           with(pal8(), [](Bmp& b) { b.width = 60000, b.height = 60000; })},
                    Broken{"Claims16000x16000WithAFewBytes",
                           with(pal8(), [](Bmp& b) { b.width = 16000, b.height = 16000; })}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BmpDecoder, OnlyBitmapsLookLikeBitmaps) {
    EXPECT_FALSE(looksLikeBmp(bytesOf(QByteArray("just some text"))));
    EXPECT_FALSE(looksLikeBmp(bytesOf(encoded(samplePicture(), "png"))));
    EXPECT_FALSE(looksLikeBmp(bytesOf(QByteArray("\x28\0\0\0", 4))));
}

} // namespace
