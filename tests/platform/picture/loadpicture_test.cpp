#include "platform/errors/runtimeerror.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/pixelmemory.h"
#include "platform/picture/loadpicture.h"
#include "platform/picture/picturedecoder.h"
#include "support/errornumber.h"
#include "support/heifsamples.h"
#include "support/picturesamples.h"
#include "support/sanitizers.h"

#include <QColorSpace>
#include <QColorTransform>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <span>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using platform::decodePicture;
using platform::LoadPicture;
using namespace testsupport;

namespace {

class LoadPictureTest : public testing::Test {
protected:
    QString write(const QString& name, const QByteArray& content) const {
        const QString path = dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            ADD_FAILURE() << "cannot write " << qPrintable(path);
        return path;
    }
    static int errorOf(const QString& path) {
        return errorNumber([&] { LoadPicture(path); });
    }

    QTemporaryDir dir;
};

// The picture's bitmap as the image buffer reads it: its description, then its rows.
struct Loaded {
    gdi::BITMAP description;
    QRgb pixel(int x, int y) const { // y counted from the top; rows lie bottom-up
        const auto* p = static_cast<const std::uint8_t*>(description.bmBits) +
                        static_cast<std::size_t>(description.bmHeight - 1 - y) *
                            static_cast<std::size_t>(description.bmWidthBytes) +
                        static_cast<std::size_t>(x) * 3;
        return qRgb(p[2], p[1], p[0]);
    }
};

Loaded describe(const platform::PictureDisp& picture) {
    Loaded loaded{};
    EXPECT_EQ(gdi::GetObjectA(picture->Handle(), sizeof loaded.description, &loaded.description),
              static_cast<int>(sizeof loaded.description));
    return loaded;
}

struct Format {
    const char* name;
    QByteArray (*content)() = nullptr; // nothing: the file of this name in tests/data/png
    int colours = 8;                   // the sample picture in this many colours
    bool grey = false;                 // written as grey: its red samples
    bool clearBlack = false;           // black written as transparent
};

QRgb shown(const Format& format, int index) {
    QRgb colour = sampleColour(index % format.colours);
    if (format.grey)
        colour = qRgb(qRed(colour), qRed(colour), qRed(colour));
    return format.clearBlack && colour == sampleColour(0) ? qRgb(255, 255, 255) : colour;
}

class LoadPictureFormats : public LoadPictureTest, public testing::WithParamInterface<Format> {};

TEST_P(LoadPictureFormats, GiveABottomUp24BitBitmapOfThePicture) {
    const int before = gdi::liveObjectCount();
    {
        const Format& format = GetParam();
        const auto picture = LoadPicture(
            write(format.name, format.content ? format.content()
                                              : testData(QStringLiteral("png/") + format.name)));
        const Loaded loaded = describe(picture);
        EXPECT_EQ(loaded.description.bmWidth, SampleWidth);
        EXPECT_EQ(loaded.description.bmHeight, SampleHeight);
        EXPECT_EQ(loaded.description.bmBitsPixel, 24);
        EXPECT_EQ(loaded.description.bmWidthBytes, 24); // 7 x 3 bytes, padded to 4
        for (int y = 0; y < SampleHeight; ++y)
            for (int x = 0; x < SampleWidth; ++x)
                ASSERT_EQ(loaded.pixel(x, y), shown(format, sampleIndex(x, y))) << x << "," << y;
        EXPECT_EQ(gdi::liveObjectCount(), before + 1);
    }
    EXPECT_EQ(gdi::liveObjectCount(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadPictureFormats,
    testing::Values(Format{"a.png", [] { return encoded(samplePicture(), "png"); }},
                    Format{"a.bmp", [] { return encoded(samplePicture(), "bmp"); }},
                    Format{"a.gif",
                           [] { return gifFile(SampleWidth, SampleHeight, {sampleIndices()}); }},
                    Format{"a.tif", [] { return encoded(samplePicture(), "tiff"); }},
                    Format{"png-named.jpg", [] { return encoded(samplePicture(), "png"); }},
                    Format{"Föto – ß.png", [] { return encoded(samplePicture(), "png"); }}),
    [](const auto& info) { return std::to_string(info.index); });

// libpng's layouts of the sample: every colour type and depth, interlaced, transparent keys.
INSTANTIATE_TEST_SUITE_P(
    Png, LoadPictureFormats,
    testing::Values(Format{"grey1.png", nullptr, 8, true},
                    Format{"grey2-interlaced.png", nullptr, 8, true},
                    Format{"grey4.png", nullptr, 8, true}, Format{"grey16.png", nullptr, 8, true},
                    Format{"grey8-key-black.png", nullptr, 8, true, true},
                    Format{"grey-alpha16-interlaced.png", nullptr, 8, true},
                    Format{"rgb16-interlaced.png"},
                    Format{"rgb16-key-black.png", nullptr, 8, false, true},
                    Format{"rgb16-key-near-red.png"}, // only the low bytes tell the key from red
                    Format{"palette1.png", nullptr, 2},
                    Format{"palette2-interlaced.png", nullptr, 4}, Format{"palette4.png"},
                    Format{"palette8-interlaced-clear-black.png", nullptr, 8, false, true},
                    Format{"rgba16.png"}));

// The sample as a TGA file, with alpha 255; with clear black pixels (1); with every alpha 0 (2).
template <TgaLayout layout, int alpha = 0> QByteArray tga() {
    QImage image = samplePicture().convertToFormat(QImage::Format_ARGB32);
    for (QRgb& pixel : std::span(reinterpret_cast<QRgb*>(image.bits()), image.sizeInBytes() / 4))
        pixel = alpha == 2 ? pixel & 0xFFFFFF : alpha == 1 && pixel == sampleColour(0) ? 0 : pixel;
    return tgaFile(image, layout);
}

// TGA through our own reader, in every layout. Black shows white where it is transparent.
INSTANTIATE_TEST_SUITE_P(
    Tga, LoadPictureFormats,
    testing::Values(
        Format{"imagemagick.tga", tga<TgaLayout{}>},
        Format{"rle-top-down-right-to-left-footer.tga",
               tga<TgaLayout{
                   .runLength = true, .topDown = true, .rightToLeft = true, .footer = true}>},
        Format{"rgb32-rle.tga", tga<TgaLayout{.bits = 32, .alphaBits = 8, .runLength = true}, 1>, 8,
               false, true},
        Format{"rgb32-alpha-all-zero.tga", tga<TgaLayout{.bits = 32, .alphaBits = 8}, 2>},
        Format{"rgb32-alpha-undeclared.tga", tga<TgaLayout{.bits = 32}, 1>},
        Format{"rgb16.tga", tga<TgaLayout{.bits = 16, .alphaBits = 1}, 1>, 8, false, true},
        Format{"rgb15.tga", tga<TgaLayout{.bits = 15}>},
        Format{"map8-15-rle.tga",
               tga<TgaLayout{.type = 1, .bits = 8, .mapBits = 15, .runLength = true}>},
        Format{"map8-32.tga",
               tga<TgaLayout{.type = 1, .bits = 8, .mapBits = 32, .alphaBits = 8}, 1>, 8, false,
               true},
        Format{"map16-16.tga",
               tga<TgaLayout{.type = 1, .bits = 16, .mapBits = 16, .idLength = 7, .mapFirst = 5}>},
        Format{"grey8-rle.tga", tga<TgaLayout{.type = 3, .bits = 8, .runLength = true}>, 8, true},
        Format{"grey16.tga", tga<TgaLayout{.type = 3, .bits = 16, .alphaBits = 8}>, 8, true}),
    [](const auto& info) { return std::to_string(info.index); });

// HEIC and AVIF files of the four quarters, written so that they show upright at their size.
struct Lossy {
    const char* name;
    HeifLayout layout;
    QSize size{64, 48};
    bool clear = false; // the white quarter transparent
    bool grid = false;  // in 2 x 2 tiles
};

class LoadLossyPictures : public testing::TestWithParam<Lossy> {};

TEST_P(LoadLossyPictures, ShowTheirQuartersUpright) {
    const auto& [name, layout, size, clear, grid] = GetParam();
    const int width = size.width(), height = size.height();
    QImage upright = quarteredPicture(width, height)
                         .convertToFormat(clear ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = height / 2; clear && y < height; ++y)
        std::fill_n(reinterpret_cast<QRgb*>(upright.scanLine(y)) + width / 2, width - width / 2, 0);
    const QImage stored = storedForOrientation(upright, layout.orientation);
    MemoryPicture picture;
    decodePicture(bytesOf(grid ? heifGridFile(stored, 2, 2) : heifFile(stored, layout)),
                  picture.allocator());
    EXPECT_EQ(QSize(picture.width(), picture.height()), size) << name;
    EXPECT_TRUE(hasQuarters(picture, 24)) << name;
    // A deep picture shows, pixel for pixel, as its 8-bit twin, which libheif turns and crops.
    if (layout.bits > 8) {
        MemoryPicture twin;
        HeifLayout eightBits = layout;
        eightBits.bits = 8;
        decodePicture(bytesOf(heifFile(stored, eightBits)), twin.allocator());
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                ASSERT_TRUE(near(picture.pixel(x, y), twin.pixel(x, y), 24)) << name << x << y;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadLossyPictures,
    testing::Values(
        Lossy{"a.heic", {}}, Lossy{"turned10.heic", {.bits = 10, .orientation = 6}},
        Lossy{"upsidedown12.heic", {.bits = 12, .orientation = 3}},
        Lossy{"mirrored.heic", {.orientation = 5}},
        Lossy{"mirrored10.heic", {.bits = 10, .orientation = 2}},
        Lossy{"flipped12.heic", {.bits = 12, .orientation = 4}},
        Lossy{"transverse10.heic", {.bits = 10, .orientation = 7}},
        Lossy{"clapped10.heic", {.bits = 10, .orientation = 5, .gridCrop = false}, {33, 21}},
        Lossy{"clap.heic", {.gridCrop = false}, {33, 21}}, Lossy{"alpha.heic", {}, {64, 48}, true},
        Lossy{"grid.heic", {}, {128, 96}, false, true}, Lossy{"a.avif", {.avif = true}, {35, 21}}));

// Flat patches in colours the file describes: they must show as the sRGB colours they stand for.
// (These need the colour service.)
constexpr std::array<QRgb, 4> Patches = {qRgb(200, 70, 50), qRgb(70, 170, 90), qRgb(60, 80, 190),
                                         qRgb(150, 150, 150)};

QImage patches(const std::array<QRgba64, 4>& colours) {
    QImage image(64, 48, QImage::Format_RGBA64);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            image.setPixelColor(x, y, QColor(colours[(y >= 24) * 2 + (x >= 32)]));
    return image;
}

struct Tagged {
    const char* name;
    QColorSpace::NamedColorSpace space;
    int bits = 8;
    bool png = false; // else HEIC
};

class LoadTaggedPictures : public testing::TestWithParam<Tagged> {};

TEST_P(LoadTaggedPictures, ShowTheirColoursInSrgb) {
    const auto& [name, space, bits, png] = GetParam();
    const QColorTransform toSpace =
        QColorSpace(QColorSpace::SRgb).transformationToColorSpace(space);
    std::array<QRgba64, 4> colours;
    std::transform(Patches.begin(), Patches.end(), colours.begin(),
                   [&](QRgb colour) { return toSpace.map(QRgba64::fromArgb32(colour)); });
    QImage image = patches(colours);
    image.setColorSpace(space);
    if (bits == 8)
        image.convertTo(QImage::Format_RGB32);
    MemoryPicture picture;
    decodePicture(
        bytesOf(png ? encoded(image, "png")
                    : heifFile(image, {.bits = bits, .icc = image.colorSpace().iccProfile()})),
        picture.allocator());
    for (int patch = 0; patch < 4; ++patch)
        EXPECT_TRUE(near(picture.pixel(16 + 32 * (patch % 2), 12 + 24 * (patch / 2)),
                         Patches[static_cast<std::size_t>(patch)], 4))
            << name << ", patch " << patch;
}

INSTANTIATE_TEST_SUITE_P(Files, LoadTaggedPictures,
                         testing::Values(Tagged{"p3.heic", QColorSpace::DisplayP3, 10},
                                         Tagged{"adobe.png", QColorSpace::AdobeRgb, 8, true},
                                         Tagged{"adobe16.png", QColorSpace::AdobeRgb, 16, true}));

TEST(LoadHdrPictures, ShowDiffuseWhiteAsWhiteAndMidGreyAsInSdr) {
    // PQ codes of 203 cd/m² and of 18 % of it, BT.2020 primaries, 12 bits.
    const auto level = [](quint16 code) { return QRgba64::fromRgba64(code, code, code, 65535); };
    MemoryPicture picture;
    decodePicture(
        bytesOf(heifFile(patches({level(38048), level(26928), level(26928), level(38048)}),
                         {.bits = 12, .primaries = 9, .transfer = 16})),
        picture.allocator());
    const QRgb shown = picture.pixel(16, 12);
    EXPECT_GE(std::min({qRed(shown), qGreen(shown), qBlue(shown)}), 240);
    EXPECT_TRUE(near(picture.pixel(48, 12), qRgb(118, 118, 118), 10));
}

TEST_F(LoadPictureTest, LoadsJpegUprightWithItsColours) {
    const QImage upright = quarteredPicture(35, 21);
    const auto picture = LoadPicture(
        write(QStringLiteral("Föto – ß.jpg"),
              withExifOrientation(encoded(storedForOrientation(upright, 6), "jpeg", 95), 6)));
    const Loaded loaded = describe(picture);
    ASSERT_EQ(loaded.description.bmWidth, 35);
    ASSERT_EQ(loaded.description.bmHeight, 21);
    EXPECT_TRUE(near(loaded.pixel(2, 2), qRgb(255, 0, 0), 24));
    EXPECT_TRUE(near(loaded.pixel(32, 2), qRgb(0, 255, 0), 24));
    EXPECT_TRUE(near(loaded.pixel(2, 18), qRgb(0, 0, 255), 24));
    EXPECT_TRUE(near(loaded.pixel(32, 18), qRgb(255, 255, 255), 24));
}

TEST_F(LoadPictureTest, ATruncatedJpegIsAPictureWithAGreyBottom) {
    const QByteArray whole = encoded(quarteredPicture(64, 64), "jpeg", 95);
    const auto scan = whole.indexOf(QByteArray("\xFF\xDA", 2));
    const auto picture =
        LoadPicture(write("cut.jpg", whole.left(scan + (whole.size() - scan) / 3)));
    const Loaded loaded = describe(picture);
    EXPECT_TRUE(near(loaded.pixel(2, 2), qRgb(255, 0, 0), 24));
    EXPECT_TRUE(near(loaded.pixel(32, 61), qRgb(128, 128, 128), 4));
}

TEST_F(LoadPictureTest, FailuresAreTellable) {
    write("plain", "x");
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.jpg"));
    ASSERT_EQ(::mkfifo(qPrintable(dir.filePath("y.jpg")), 0600), 0);
    ASSERT_EQ(::symlink(qPrintable(dir.filePath("gone.jpg")), qPrintable(dir.filePath("d.jpg"))),
              0);
    QByteArray lying = encoded(samplePicture(), "bmp");
    lying[18] = lying[22] = static_cast<char>(0x60); // 60000 x 60000 (0xEA60)
    lying[19] = lying[23] = static_cast<char>(0xEA);
    const int before = gdi::liveObjectCount();

    EXPECT_EQ(errorOf(dir.filePath("missing.jpg")), platform::ErrFileNotFound);
    EXPECT_EQ(errorOf(dir.filePath("d.jpg")), platform::ErrFileNotFound);
    EXPECT_EQ(errorOf(dir.filePath("plain/below.jpg")), platform::ErrFileNotFound);
    EXPECT_EQ(errorOf(dir.filePath("folder.jpg")), platform::ErrPathFileAccess);
    EXPECT_EQ(errorOf(dir.filePath("y.jpg")), platform::ErrPathFileAccess);
    EXPECT_EQ(errorOf(write("empty.jpg", {})), platform::ErrInvalidPicture);
    EXPECT_EQ(errorOf(write("text.jpg", "Dies ist kein Bild.\n")), platform::ErrInvalidPicture);
    EXPECT_EQ(errorOf(write("lying.bmp", lying)), platform::ErrInvalidPicture);
    EXPECT_EQ(gdi::liveObjectCount(), before);
}

TEST_F(LoadPictureTest, ABitmapTakenBeforeAFatalErrorIsGivenBack) {
    // The header is sound, so the bitmap is made; the data then fails: stray bytes (a warning)
    // followed by a Huffman table that defines too many codes (fatal).
    QByteArray jpeg = encoded(quarteredPicture(32, 32), "jpeg", 90);
    const auto dht = jpeg.indexOf(QByteArray("\xFF\xC4", 2), jpeg.indexOf("\xFF\xC0"));
    ASSERT_GT(dht, 0);
    jpeg.insert(dht, QByteArray("\x01\x02\x03", 3));
    for (int i = 0; i < 16; ++i)
        jpeg[dht + 3 + 5 + i] = static_cast<char>(0xFF);
    const int before = gdi::liveObjectCount();
    EXPECT_EQ(errorOf(write("fatal.jpg", jpeg)), platform::ErrInvalidPicture);
    EXPECT_EQ(gdi::liveObjectCount(), before);
}

// Runs a load in a child whose address space has room for little more than it has already
// taken, and exits with the load's error number.
[[noreturn]] void loadWithLittleMemory(const QString& path) {
    gdi::setRecycledBlockLimit(0);
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) +
                         (rlim_t{24} << 20);
    const rlimit bound{limit, limit};
    ::setrlimit(RLIMIT_AS, &bound);
    const int number = errorNumber([&] { LoadPicture(path); });
    // The child made its own folder of files on its way here; _Exit would leave it behind.
    QDir(QFileInfo(path).path()).removeRecursively();
    std::_Exit(number);
}

TEST_F(LoadPictureTest, RunningOutOfMemoryIsError7) {
    if (testsupport::kAddressSanitizer || testsupport::kThreadSanitizer)
        GTEST_SKIP() << "the sanitizer's allocator ends the process when memory runs out";
    // 4000 x 3000 pixels need 36 MB of bitmap.
    QImage big(4000, 3000, QImage::Format_RGB32);
    big.fill(qRgb(90, 120, 150));
    const QString jpeg = write("big.jpg", encoded(big, "jpeg", 80));
    const QString turned = write("turned.jpg", withExifOrientation(encoded(big, "jpeg", 80), 6));
    const QString bmp = write("big.bmp", encoded(big, "bmp"));
    big = QImage();
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(loadWithLittleMemory(jpeg), testing::ExitedWithCode(platform::ErrOutOfMemory), "");
    EXPECT_EXIT(loadWithLittleMemory(turned), testing::ExitedWithCode(platform::ErrOutOfMemory),
                "");
    EXPECT_EXIT(loadWithLittleMemory(bmp), testing::ExitedWithCode(platform::ErrOutOfMemory), "");
    // libheif would take 10 GB for this grid's descriptor were it believed (481 exits as 225).
    const QString grid =
        write("lying.heic", heifGridFile(quarteredPicture(128, 96), 2, 2, {60000, 60000}));
    EXPECT_EXIT(loadWithLittleMemory(grid),
                testing::ExitedWithCode(platform::ErrInvalidPicture & 255), "");
}

} // namespace
