#include "platform/errors/runtimeerror.h"
#include "platform/picture/jpegdecoder.h"
#include "support/colourpatches.h"
#include "support/errornumber.h"
#include "support/picturesamples.h"

#include <QBuffer>
#include <QImageWriter>
#include <gtest/gtest.h>

using platform::decodeJpeg;
using namespace testsupport;

namespace {

int errorOf(const QByteArray& data, MemoryPicture& picture) {
    return errorNumber([&] { decodeJpeg(bytesOf(data), picture.allocator()); });
}

// Replaces the size in the first frame header of a JPEG stream.
QByteArray withClaimedSize(QByteArray jpeg, int width, int height) {
    const auto sof = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    if (sof < 0)
        qFatal("no baseline frame");
    jpeg[sof + 5] = static_cast<char>(height >> 8);
    jpeg[sof + 6] = static_cast<char>(height & 0xFF);
    jpeg[sof + 7] = static_cast<char>(width >> 8);
    jpeg[sof + 8] = static_cast<char>(width & 0xFF);
    return jpeg;
}

struct Size {
    int width;
    int height;
};

class JpegSizes : public testing::TestWithParam<Size> {};

TEST_P(JpegSizes, DecodeWithTheirSizeAndColours) {
    const auto [width, height] = GetParam();
    MemoryPicture picture;
    decodeJpeg(bytesOf(encoded(quarteredPicture(width, height), "jpeg", 95)), picture.allocator());
    EXPECT_EQ(picture.allocations(), 1);
    EXPECT_EQ(picture.width(), width);
    EXPECT_EQ(picture.height(), height);
    EXPECT_TRUE(hasQuarters(picture, 24));
    EXPECT_TRUE(picture.paddingUntouched());
}

INSTANTIATE_TEST_SUITE_P(OddAndEven, JpegSizes,
                         testing::Values(Size{48, 32}, Size{33, 17}, Size{17, 33}, Size{9, 9},
                                         Size{101, 64}));

TEST(JpegDecoder, DecodesGreyPictures) {
    QImage grey(21, 11, QImage::Format_Grayscale8);
    grey.fill(200);
    for (int x = 0; x < 10; ++x)
        for (int y = 0; y < 11; ++y)
            grey.setPixel(x, y, qRgb(40, 40, 40));
    MemoryPicture picture;
    decodeJpeg(bytesOf(encoded(grey, "jpeg", 95)), picture.allocator());
    EXPECT_TRUE(near(picture.pixel(2, 5), qRgb(40, 40, 40), 6));
    EXPECT_TRUE(near(picture.pixel(18, 5), qRgb(200, 200, 200), 6));
}

TEST(JpegDecoder, DecodesProgressivePictures) {
    QByteArray data;
    {
        QBuffer buffer(&data);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setProgressiveScanWrite(true);
        writer.setQuality(95);
        ASSERT_TRUE(writer.write(quarteredPicture(40, 24)));
    }
    ASSERT_GE(data.indexOf(QByteArray("\xFF\xC2", 2)), 0);
    MemoryPicture picture;
    decodeJpeg(bytesOf(data), picture.allocator());
    EXPECT_TRUE(hasQuarters(picture, 24));
}

struct Oriented {
    int orientation;
    bool bigEndian;
    Size size;
};

class JpegOrientations : public testing::TestWithParam<Oriented> {};

TEST_P(JpegOrientations, ComeOutUpright) {
    const auto [orientation, bigEndian, size] = GetParam();
    const QImage upright = quarteredPicture(size.width, size.height);
    const QByteArray jpeg = withExifOrientation(
        encoded(storedForOrientation(upright, orientation), "jpeg", 95), orientation, bigEndian);
    MemoryPicture picture;
    decodeJpeg(bytesOf(jpeg), picture.allocator());
    EXPECT_EQ(picture.width(), size.width);
    EXPECT_EQ(picture.height(), size.height);
    EXPECT_TRUE(hasQuarters(picture, 24));
    EXPECT_TRUE(picture.paddingUntouched());
}

INSTANTIATE_TEST_SUITE_P(AllEight, JpegOrientations,
                         testing::Values(Oriented{1, false, {48, 32}}, Oriented{2, false, {48, 32}},
                                         Oriented{3, true, {48, 32}}, Oriented{4, false, {48, 32}},
                                         Oriented{5, true, {48, 32}}, Oriented{6, false, {48, 32}},
                                         Oriented{7, false, {48, 32}}, Oriented{8, true, {48, 32}},
                                         Oriented{2, true, {33, 19}}, Oriented{3, false, {33, 19}},
                                         Oriented{6, true, {35, 21}}, Oriented{7, true, {35, 21}},
                                         Oriented{8, false, {21, 35}}));

struct Cmyk {
    const char* file;
};

class JpegCmyk : public testing::TestWithParam<Cmyk> {};

// The files hold 16 x 16 pixels of ink: red, green, blue and black quarters.
TEST_P(JpegCmyk, AreConvertedToColours) {
    MemoryPicture picture;
    decodeJpeg(bytesOf(testData(QString::fromLatin1(GetParam().file))), picture.allocator());
    ASSERT_EQ(picture.width(), 16);
    EXPECT_TRUE(near(picture.pixel(2, 2), qRgb(255, 0, 0), 12));
    EXPECT_TRUE(near(picture.pixel(13, 2), qRgb(0, 255, 0), 12));
    EXPECT_TRUE(near(picture.pixel(2, 13), qRgb(0, 0, 255), 12));
    EXPECT_TRUE(near(picture.pixel(13, 13), qRgb(0, 0, 0), 12));
}

INSTANTIATE_TEST_SUITE_P(Kinds, JpegCmyk,
                         testing::Values(Cmyk{"cmyk-adobe.jpg"}, Cmyk{"ycck-adobe.jpg"},
                                         Cmyk{"cmyk-plain.jpg"}));

TEST(JpegDecoder, TurnsCmykPicturesUprightToo) {
    MemoryPicture picture;
    decodeJpeg(bytesOf(withExifOrientation(testData(QStringLiteral("cmyk-adobe.jpg")), 6)),
               picture.allocator());
    // A quarter turn clockwise: the blue bottom-left quarter is now top-left.
    EXPECT_TRUE(near(picture.pixel(2, 2), qRgb(0, 0, 255), 12));
    EXPECT_TRUE(near(picture.pixel(13, 13), qRgb(0, 255, 0), 12));
}

TEST(JpegDecoder, TruncatedDataIsStillAPictureWithAGreyBottom) {
    const QByteArray whole = encoded(quarteredPicture(64, 64), "jpeg", 95);
    const auto scan = whole.indexOf(QByteArray("\xFF\xDA", 2));
    MemoryPicture picture;
    decodeJpeg(bytesOf(whole.left(scan + (whole.size() - scan) / 3)), picture.allocator());
    EXPECT_EQ(picture.height(), 64);
    EXPECT_TRUE(near(picture.pixel(2, 2), qRgb(255, 0, 0), 24));
    EXPECT_TRUE(near(picture.pixel(2, 61), qRgb(128, 128, 128), 4));
    EXPECT_TRUE(near(picture.pixel(61, 61), qRgb(128, 128, 128), 4));
}

TEST(JpegDecoder, AFatalErrorAfterAWarningIsNotAPicture) {
    // Stray bytes before a marker make the library warn; a table defining codes that overflow
    // is fatal. The warning must not hide the fatal error.
    QByteArray jpeg = encoded(quarteredPicture(32, 32), "jpeg", 90);
    const auto dht = jpeg.indexOf(QByteArray("\xFF\xC4", 2));
    ASSERT_GT(dht, 0);
    jpeg.insert(dht, QByteArray("\x01\x02\x03", 3));
    for (int i = 0; i < 16; ++i)
        jpeg[dht + 3 + 5 + i] = static_cast<char>(0xFF); // code counts for lengths 1..16
    MemoryPicture picture;
    EXPECT_EQ(errorOf(jpeg, picture), platform::ErrInvalidPicture);
}

TEST(JpegDecoder, StrayBytesAloneAreOnlyAWarning) {
    QByteArray jpeg = encoded(quarteredPicture(32, 32), "jpeg", 95);
    jpeg.insert(jpeg.indexOf(QByteArray("\xFF\xDA", 2)), QByteArray("\x01\x02\x03", 3));
    MemoryPicture picture;
    EXPECT_EQ(errorOf(jpeg, picture), 0);
    EXPECT_TRUE(hasQuarters(picture, 24));
}

struct Broken {
    const char* name;
    QByteArray data;
};

class JpegBroken : public testing::TestWithParam<Broken> {};

TEST_P(JpegBroken, IsNotAPictureAndTakesNoMemory) {
    MemoryPicture picture;
    EXPECT_EQ(errorOf(GetParam().data, picture), platform::ErrInvalidPicture);
    EXPECT_EQ(picture.allocations(), 0);
}

const QByteArray small = encoded(quarteredPicture(16, 16), "jpeg", 90);

INSTANTIATE_TEST_SUITE_P(
    Streams, JpegBroken,
    testing::Values(Broken{"StartMarkerOnly", QByteArray("\xFF\xD8", 2)},
                    Broken{"Text", QByteArray("\xFF\xD8 this is not a picture at all")},
                    Broken{"HeaderOnly", small.left(small.indexOf(QByteArray("\xFF\xDA", 2)))},
                    Broken{"Claims60000x60000", withClaimedSize(small, 60000, 60000)},
                    Broken{"Claims49157x27397", withClaimedSize(small, 49157, 27397).left(613)},
                    Broken{"ClaimsMoreThanTheDataCanHold", withClaimedSize(small, 16000, 16000)},
                    Broken{"ZeroHeight", withClaimedSize(small, 16, 0)}),
    [](const auto& info) { return std::string(info.param.name); });

// The patches as grey, and the test files that hold them: CMYK inks for Debian's default CMYK
// profile, linear grey values, Adobe RGB values with EXIF's mark; made with LittleCMS.
const QImage patches = colourPatches();
const QImage greys =
    patches.convertToFormat(QImage::Format_Grayscale8).convertToFormat(QImage::Format_RGB32);
const QByteArray cmykProfile = iccProfileFile("ghostscript/default_cmyk.icc");

QByteArray untaggedJpeg(QImage image) {
    image.setColorSpace(QColorSpace());
    return encoded(image, "jpeg", 100);
}
QImage inDisplayP3(const QImage& image) {
    return convertedTo(image, QColorSpace::DisplayP3);
}

struct Managed {
    const char* name;
    QByteArray jpeg;
    QImage expected;
};

class JpegColourManaged : public testing::TestWithParam<Managed> {};

TEST_P(JpegColourManaged, ShowTheirSrgbColours) {
    MemoryPicture picture;
    decodeJpeg(bytesOf(GetParam().jpeg), picture.allocator());
    EXPECT_LE(patchesDeltaE(picture, GetParam().expected), 2);
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, JpegColourManaged,
    testing::Values(
        Managed{"DisplayP3", encoded(inDisplayP3(patches), "jpeg", 100), patches},
        Managed{"ProPhotoInFourPartsReversed",
                withIccProfile(untaggedJpeg(convertedTo(patches, QColorSpace::ProPhotoRgb)),
                               QColorSpace(QColorSpace::ProPhotoRgb).iccProfile(), 150, true),
                patches},
        Managed{"AdobeRgbByExifAlone", testData("patches-adobergb-exif.jpg"), patches},
        Managed{"DisplayP3TurnedAQuarter",
                withExifOrientation(
                    withIccProfile(untaggedJpeg(storedForOrientation(inDisplayP3(patches), 6)),
                                   inDisplayP3(patches).colorSpace().iccProfile()),
                    6),
                patches},
        Managed{"CmykProfile", withIccProfile(testData("patches-cmyk-inks.jpg"), cmykProfile),
                patches},
        Managed{"GreyProfile",
                withIccProfile(testData("patches-linear-grey.jpg"), iccProfileFile("Gray.icc")),
                greys}),
    [](const auto& info) { return std::string(info.param.name); });

// Pictures tagged with sRGB, or with a profile that cannot be used, come out as if untagged.
TEST(JpegDecoder, SrgbAndUnusableProfilesChangeNoByte) {
    const QByteArray plain = encoded(patches, "jpeg", 90);
    MemoryPicture untagged;
    decodeJpeg(bytesOf(plain), untagged.allocator());
    for (const QByteArray& jpeg :
         {withIccProfile(plain, QColorSpace(QColorSpace::SRgb).iccProfile()),
          withIccProfile(plain, iccProfileFile("sRGB.icc")),
          withIccProfile(plain, inDisplayP3(patches).colorSpace().iccProfile().left(300)),
          withIccProfile(plain, cmykProfile)}) {
        MemoryPicture picture;
        decodeJpeg(bytesOf(jpeg), picture.allocator());
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 64; ++x)
                ASSERT_EQ(picture.pixel(x, y), untagged.pixel(x, y)) << x << ", " << y;
    }
}

} // namespace
