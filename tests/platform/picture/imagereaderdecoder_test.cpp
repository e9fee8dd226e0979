#include "platform/errors/runtimeerror.h"
#include "platform/picture/imagereaderdecoder.h"
#include "platform/picture/picturedecoder.h"
#include "platform/picture/pictureformat.h"
#include "support/colourpatches.h"
#include "support/errornumber.h"
#include "support/heifsamples.h"
#include "support/picturesamples.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>
#include <QtEndian>
#include <gtest/gtest.h>
#include <tuple>

using platform::decodeWithImageReader;
using platform::PictureFormat;
using namespace testsupport;

namespace {

// Through the loader's choice of decoder, which also refuses what no decoder
// takes.
int errorOf(const QByteArray& data, MemoryPicture& picture) {
    return errorNumber([&] { platform::decodePicture(bytesOf(data), picture.allocator()); });
}

void expectSample(const MemoryPicture& picture) {
    ASSERT_EQ(picture.width(), SampleWidth);
    ASSERT_EQ(picture.height(), SampleHeight);
    for (int y = 0; y < SampleHeight; ++y)
        for (int x = 0; x < SampleWidth; ++x)
            ASSERT_EQ(picture.pixel(x, y), sampleColour(sampleIndex(x, y))) << x << ", " << y;
    EXPECT_TRUE(picture.paddingUntouched());
}

struct Lossless {
    const char* format;
    QImage::Format pixels;
};

class ReaderFormats : public testing::TestWithParam<Lossless> {};

// Through the loader's choice of decoder, which must tell each format by its own mark.
TEST_P(ReaderFormats, DecodeExactly) {
    const auto [format, pixels] = GetParam();
    const QImage sample = samplePicture().convertToFormat(pixels);
    MemoryPicture picture;
    platform::decodePicture(bytesOf(encoded(sample, format)), picture.allocator());
    expectSample(picture);
}

INSTANTIATE_TEST_SUITE_P(
    Plugins, ReaderFormats,
    testing::Values(Lossless{"tiff", QImage::Format_RGB32}, Lossless{"tiff", QImage::Format_RGB888},
                    Lossless{"tiff", QImage::Format_Indexed8},
                    Lossless{"tiff", QImage::Format_RGBA64}, Lossless{"ppm", QImage::Format_RGB32},
                    Lossless{"ico", QImage::Format_ARGB32}),
    [](const auto& info) {
        return std::string(info.param.format) + "_" + std::to_string(info.param.pixels);
    });

TEST(ImageReaderDecoder, DecodesLosslessWebP) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "webp");
    writer.setQuality(100); // lossless
    ASSERT_TRUE(writer.write(samplePicture()));
    MemoryPicture picture;
    decodeWithImageReader(bytesOf(data), PictureFormat::WebP, picture.allocator());
    expectSample(picture);
}

TEST(ImageReaderDecoder, LaysTransparencyOntoWhite) {
    QImage image(3, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(255, 0, 0, 255));
    image.setPixel(1, 0, qRgba(0, 255, 0, 0));
    image.setPixel(2, 0, qRgba(0, 0, 255, 128));
    for (const auto& [format, data] :
         {std::pair{"png", encoded(image, "png")},
          {"tiff", encoded(image, "tiff")},
          {"webp", encoded(image, "webp", 100)},
          {"ico", encoded(image, "ico")},
          {"tga", tgaFile(image, {.bits = 32, .alphaBits = 8})},
          {"tga-premultiplied", tgaFile(image, {.bits = 32, .footer = true, .alphaMeaning = 4})}}) {
        MemoryPicture picture;
        platform::decodePicture(bytesOf(data), picture.allocator()); // PNG, TGA through our own
        EXPECT_EQ(picture.pixel(0, 0), qRgb(255, 0, 0)) << format;
        EXPECT_EQ(picture.pixel(1, 0), qRgb(255, 255, 255)) << format;
        EXPECT_TRUE(near(picture.pixel(2, 0), qRgb(127, 127, 255), 1)) << format;
    }
}

TEST(ImageReaderDecoder, DecodesGif) {
    MemoryPicture picture;
    decodeWithImageReader(bytesOf(gifFile(SampleWidth, SampleHeight, {sampleIndices()})),
                          PictureFormat::Gif, picture.allocator());
    expectSample(picture);
}

TEST(ImageReaderDecoder, TakesTheFirstFrameOfAnAnimatedGif) {
    const std::vector<int> red(SampleWidth * SampleHeight, 1);
    MemoryPicture picture;
    decodeWithImageReader(bytesOf(gifFile(SampleWidth, SampleHeight, {sampleIndices(), red})),
                          PictureFormat::Gif, picture.allocator());
    expectSample(picture);
}

TEST(ImageReaderDecoder, LaysTransparentGifPixelsOntoWhite) {
    MemoryPicture picture;
    decodeWithImageReader(bytesOf(gifFile(2, 1, {{3, 0}}, 0)), PictureFormat::Gif,
                          picture.allocator());
    EXPECT_EQ(picture.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(picture.pixel(1, 0), qRgb(255, 255, 255));
}

class TiffOrientations : public testing::TestWithParam<int> {};

TEST_P(TiffOrientations, ComeOutUpright) {
    const int orientation = GetParam();
    // Qt's transformation flags, indexed by the EXIF orientation value they stand
    // for.
    static const QImageIOHandler::Transformations flags[] = {
        QImageIOHandler::TransformationNone,      QImageIOHandler::TransformationNone,
        QImageIOHandler::TransformationMirror,    QImageIOHandler::TransformationRotate180,
        QImageIOHandler::TransformationFlip,      QImageIOHandler::TransformationFlipAndRotate90,
        QImageIOHandler::TransformationRotate90,  QImageIOHandler::TransformationMirrorAndRotate90,
        QImageIOHandler::TransformationRotate270,
    };
    const QImage upright = quarteredPicture(12, 8);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    writer.setTransformation(flags[orientation]);
    ASSERT_TRUE(writer.write(storedForOrientation(upright, orientation)));
    MemoryPicture picture;
    decodeWithImageReader(bytesOf(data), PictureFormat::Tiff, picture.allocator());
    ASSERT_EQ(picture.width(), 12);
    ASSERT_EQ(picture.height(), 8);
    EXPECT_TRUE(hasQuarters(picture, 0));
}

INSTANTIATE_TEST_SUITE_P(AllEight, TiffOrientations, testing::Range(1, 9));

TEST(ImageReaderDecoder, ReadsAFortyMegapixelTiffBeyondQtsDefaultLimit) {
    QImage big(8000, 5000, QImage::Format_RGB32);
    big.fill(qRgb(10, 200, 30));
    {
        QPainter painter(&big);
        painter.fillRect(0, 0, 10, 10, Qt::red);
    }
    QByteArray tiff;
    QBuffer buffer(&tiff);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    writer.setCompression(1); // LZW
    ASSERT_TRUE(writer.write(big));
    big = QImage();
    MemoryPicture picture;
    decodeWithImageReader(bytesOf(tiff), PictureFormat::Tiff, picture.allocator());
    EXPECT_EQ(picture.width(), 8000);
    EXPECT_EQ(picture.height(), 5000);
    EXPECT_EQ(picture.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(picture.pixel(7999, 4999), qRgb(10, 200, 30));
}

// A PNG whose header claims another size (the header's checksum is not checked
// by Qt's reader, but it is fixed anyway so that only the size lies).
QByteArray pngClaiming(int width, int height) {
    QByteArray png = encoded(samplePicture(), "png");
    const auto ihdr = png.indexOf("IHDR");
    for (int i = 0; i < 4; ++i) {
        png[ihdr + 4 + i] = static_cast<char>(width >> (24 - 8 * i));
        png[ihdr + 8 + i] = static_cast<char>(height >> (24 - 8 * i));
    }
    const quint32 crc = [&] {
        quint32 c = 0xFFFFFFFFu;
        for (int i = 0; i < 17; ++i) {
            c ^= static_cast<quint8>(png[ihdr + i]);
            for (int k = 0; k < 8; ++k)
                c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
        }
        return ~c;
    }();
    for (int i = 0; i < 4; ++i)
        png[ihdr + 17 + i] = static_cast<char>(crc >> (24 - 8 * i));
    return png;
}

// A picture file whose bytes from `at` on are replaced.
QByteArray spoilt(QByteArray file, qsizetype at, const QByteArray& bytes) {
    return file.replace(at, bytes.size(), bytes);
}

const QByteArray heic = heifFile(quarteredPicture(64, 48));

struct Refused {
    const char* name;
    QByteArray data;
};

class ReaderRefuses : public testing::TestWithParam<Refused> {};

TEST_P(ReaderRefuses, AsNotAPictureWithoutTakingMemory) {
    MemoryPicture picture;
    EXPECT_EQ(errorOf(GetParam().data, picture), platform::ErrInvalidPicture);
    EXPECT_EQ(picture.allocations(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Data, ReaderRefuses,
    testing::Values(
        Refused{"Text", QByteArray("Dies ist kein Bild, nur ein Text.\n")},
        Refused{"Zeros", QByteArray(100, '\0')},
        Refused{"PngClaiming60000x60000", pngClaiming(60000, 60000)},
        Refused{"PngClaiming16000x16000", pngClaiming(16000, 16000)},
        Refused{"TruncatedPngHeader", encoded(samplePicture(), "png").left(20)},
        Refused{"PngTextClaiming2GB", testData("fuzz-seeds/picture/text-claim.png")},
        Refused{"HeicCut", heic.left(heic.size() - 100)},
        Refused{"HeicConfigurationGarbage",
                spoilt(heic, heic.indexOf("hvcC") + 4, QByteArray(60, '\x5A'))},
        Refused{"HeicGridClaiming60000x60000",
                heifGridFile(quarteredPicture(128, 96), 2, 2, {}, {60000, 60000})},
        Refused{"HeicGridBeyondItsTiles",
                heifGridFile(quarteredPicture(128, 96), 2, 2, {200, 150}, {200, 150})},
        Refused{"Mp4", QByteArray::fromHex("00000018667479706d70343200000000"
                                           "69736f6d6d703432") +
                           QByteArray(4000, '\0')},
        // Formats Qt reads that the loader does not name.
        Refused{"Mng", testData("fuzz-seeds/picture/mng.mng")},
        Refused{"Xpm", encoded(samplePicture(), "xpm")},
        Refused{"Xbm", encoded(samplePicture(2), "xbm")},
        Refused{"Cursor", spoilt(encoded(samplePicture(), "ico"), 2, "\x02")}, // Qt writes ICO
        Refused{"Wbmp", encoded(samplePicture(2), "wbmp")},
        Refused{"TgaClaiming65535x65535", spoilt(tgaFile(samplePicture()), 12, "\xFF\xFF\xFF\xFF")},
        // 4000 x 3000 pixels in 20000 bytes: not even run-length coded (runs of white).
        Refused{"TgaClaimingMoreThanItsDataHolds",
                QByteArray::fromHex("000002000000000000000000a00fb80b1800") +
                    QByteArray(20000, '\xFF')},
        Refused{"RunLengthTgaClaimingMoreThanItsDataHolds",
                QByteArray::fromHex("00000a000000000000000000a00fb80b1800") +
                    QByteArray(20000, '\xFF')},
        Refused{"TgaCutInItsColourMap", tgaFile(samplePicture(), {.type = 1}).left(28)},
        Refused{"TgaInterleaved", spoilt(tgaFile(samplePicture()), 17, "\x40")},
        Refused{"TgaColourMappedWithoutAMap",
                spoilt(tgaFile(samplePicture(), {.type = 1}), 1, QByteArray(1, '\0'))},
        // Weak marks that other files share.
        Refused{"MpegProgramStream",
                QByteArray::fromHex("000001ba4400040004010189c3f8") + QByteArray(100, '\0')},
        Refused{"IcoMarkOnText", QByteArray("\0\0\1\0\1\0", 6) + "sixteen bytes of text"},
        Refused{"PnmMarkOnText", QByteArray("P6 is a paper size\n")}),
    [](const auto& info) { return std::string(info.param.name); });

// Qt converts and tags the patches; 16 bits a channel go through the 16-bit conversion (PNG
// through libpng).
TEST(ImageReaderDecoder, ShowsTaggedPicturesInTheirSrgbColours) {
    for (const auto& [format, space, pixels] :
         {std::tuple{"tiff", QColorSpace::DisplayP3, QImage::Format_RGB32},
          {"tiff", QColorSpace::ProPhotoRgb, QImage::Format_RGBX64},
          {"webp", QColorSpace::AdobeRgb, QImage::Format_RGB32},
          {"png", QColorSpace::DisplayP3, QImage::Format_RGBA64}}) {
        MemoryPicture picture;
        const QImage tagged = convertedTo(colourPatches(), space, pixels);
        platform::decodePicture(bytesOf(encoded(tagged, format, 100)), picture.allocator());
        EXPECT_LE(patchesDeltaE(picture), 2) << format << " " << pixels;
    }
}

TEST(PictureDecoders, APngIsAPictureWhileItsRowsCanBeRead) {
    const QByteArray whole = encoded(quarteredPicture(64, 64), "png");
    const auto data = whole.indexOf("IDAT") + 4;
    const auto length = qFromBigEndian<quint32>(whole.constData() + data - 8);
    MemoryPicture picture;
    EXPECT_EQ(errorOf(whole.left(data + 30), picture), platform::ErrInvalidPicture);
    EXPECT_EQ(errorOf(spoilt(whole, data, "\xFF\xFF"), picture), platform::ErrInvalidPicture);
    // A wrong checksum alone costs no rows.
    EXPECT_EQ(errorOf(spoilt(whole, data + length, QByteArray(4, '\0')), picture), 0);
    EXPECT_TRUE(hasQuarters(picture, 0));
}

TEST(PictureDecoders, ATruncatedTgaKeepsThePixelsItHasAndTheRestIsWhite) {
    for (const bool runLength : {false, true}) {
        const QByteArray tga = tgaFile(samplePicture(), {.runLength = runLength, .topDown = true});
        MemoryPicture picture;
        platform::decodePicture(bytesOf(tga.left(18 + 50)), picture.allocator());
        // In file order: 16 whole pixels of 3 bytes (17 run-length coded), then white.
        for (int i = 0, kept = runLength ? 17 : 16; i < SampleWidth * SampleHeight; ++i) {
            const int x = i % SampleWidth, y = i / SampleWidth;
            EXPECT_EQ(picture.pixel(x, y), i < kept ? sampleColour(sampleIndex(x, y)) : 0xFFFFFFFF)
                << runLength << " " << i;
        }
    }
}

} // namespace
