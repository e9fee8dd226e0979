#include "platform/files/replacingfile.h"
#include "platform/jpeg/ijl.h"
#include "support/cornerpicture.h"
#include "support/decodedjpeg.h"
#include "support/files.h"
#include "support/scratchfilesystem.h"
#include "support/unwritableplaces.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cctype>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <vector>

using namespace ijl;
using testsupport::contentsOf;
using testsupport::decodeJpegFile;
using testsupport::entriesOf;
using testsupport::writeFile;

namespace {

// Pixel rows as a caller of the library holds them: blue-green-red, `pad` spare bytes per row.
struct Pixels {
    int width;
    int height;
    int pad;
    bool bottomUp;
    std::vector<std::uint8_t> bytes;

    Pixels(int w, int h, int padBytes, bool rowsBottomUp)
        : width(w), height(h), pad(padBytes), bottomUp(rowsBottomUp),
          bytes(static_cast<std::size_t>(stride()) * h) {
        testsupport::paintCorners(bytes.data(), width, height, stride(), bottomUp);
    }
    int stride() const { return width * 3 + pad; }

    // Random pixels: nothing for the encoder to save on.
    static Pixels noise(int w, int h) {
        Pixels pixels(w, h, 0, true);
        std::mt19937 generator(7);
        for (auto& byte : pixels.bytes)
            byte = static_cast<std::uint8_t>(generator());
        return pixels;
    }
};

// A record that ijlInit prepared, released again when the test is done with it.
struct PreparedRecord {
    JPEG_CORE_PROPERTIES props{};
    std::string file;

    PreparedRecord() { EXPECT_EQ(ijlInit(&props), IJL_OK); }
    ~PreparedRecord() { ijlFree(&props); }
    PreparedRecord(const PreparedRecord&) = delete;
    PreparedRecord& operator=(const PreparedRecord&) = delete;

    void describe(const Pixels& pixels, const QString& path, int quality) {
        file = QFile::encodeName(path).toStdString();
        props.DIBBytes = pixels.bytes.data();
        props.DIBWidth = pixels.width;
        props.DIBHeight = pixels.bottomUp ? -pixels.height : pixels.height;
        props.DIBPadBytes = pixels.pad;
        props.JPGFile = file.c_str();
        props.JPGWidth = pixels.width;
        props.JPGHeight = pixels.height;
        props.jquality = quality;
    }
    IJLERR write() { return ijlWrite(&props, IJL_JFILE_WRITEWHOLEIMAGE); }
};

mode_t permissionsOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

class IjlWrite : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString target() const { return dir.filePath(QStringLiteral("Foto000.jpg")); }
};

} // namespace

TEST(Ijl, InitPreparesTheDefaultsAndFreeReleasesOnce) {
    const int before = liveRecordCount();
    auto props = std::make_unique<JPEG_CORE_PROPERTIES>();
    props->DIBWidth = 99; // whatever the caller left there
    ASSERT_EQ(ijlInit(props.get()), IJL_OK);
    EXPECT_EQ(liveRecordCount(), before + 1);
    EXPECT_EQ(props->DIBWidth, 0);
    EXPECT_EQ(props->DIBChannels, 3);
    EXPECT_EQ(props->DIBColor, IJL_BGR);
    EXPECT_EQ(props->DIBSubsampling, IJL_NONE);
    EXPECT_EQ(props->JPGChannels, 3);
    EXPECT_EQ(props->JPGColor, IJL_YCBCR);
    EXPECT_EQ(props->JPGSubsampling, IJL_411);
    EXPECT_EQ(props->jquality, 75);
    EXPECT_EQ(props->DIBBytes, nullptr);
    EXPECT_EQ(props->JPGFile, nullptr);

    ASSERT_EQ(ijlInit(props.get()), IJL_OK) << "preparing a record again";
    EXPECT_EQ(liveRecordCount(), before + 1) << "counts once";
    EXPECT_EQ(ijlFree(props.get()), IJL_OK);
    EXPECT_EQ(liveRecordCount(), before);
    EXPECT_LT(ijlFree(props.get()), 0) << "a released record is not released twice";
    EXPECT_EQ(liveRecordCount(), before);
    EXPECT_LT(ijlWrite(props.get(), IJL_JFILE_WRITEWHOLEIMAGE), 0) << "nor written";
    EXPECT_LT(ijlInit(nullptr), 0);
    EXPECT_LT(ijlWrite(nullptr, IJL_JFILE_WRITEWHOLEIMAGE), 0);
    EXPECT_LT(ijlFree(nullptr), 0);
}

TEST(Ijl, InitFailsOnRequestOfATestAndLeavesTheRecordAlone) {
    const int before = liveRecordCount();
    hooks::setInitFailure(IJL_MEMORY_ERROR);
    auto props = std::make_unique<JPEG_CORE_PROPERTIES>();
    props->DIBWidth = 99;
    EXPECT_EQ(ijlInit(props.get()), IJL_MEMORY_ERROR);
    hooks::setInitFailure(IJL_OK);
    EXPECT_EQ(props->DIBWidth, 99);
    EXPECT_EQ(liveRecordCount(), before);
    EXPECT_LT(ijlWrite(props.get(), IJL_JFILE_WRITEWHOLEIMAGE), 0);
    EXPECT_EQ(ijlInit(props.get()), IJL_OK) << "the next call works again";
    EXPECT_EQ(ijlFree(props.get()), IJL_OK);
}

// Size, orientation, row padding and subsampling of the pixels against what decodes again.
struct RoundTrip {
    int width;
    int height;
    int pad;
    bool bottomUp;
    IJL_SUBSAMPLING subsampling;
    int quality;
    int expectedSubsampling;
};

class IjlRoundTrip : public IjlWrite, public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(IjlRoundTrip, DecodesToThePaintedPictureUpright) {
    const RoundTrip& c = GetParam();
    const Pixels pixels(c.width, c.height, c.pad, c.bottomUp);
    PreparedRecord record;
    record.describe(pixels, target(), c.quality);
    record.props.JPGSubsampling = c.subsampling;
    ASSERT_EQ(record.write(), IJL_OK);

    const auto decoded = decodeJpegFile(target());
    ASSERT_TRUE(decoded) << "not a JPEG";
    EXPECT_EQ(decoded->subsampling, c.expectedSubsampling);
    const auto difference = testsupport::cornersDiffer(*decoded, c.width, c.height);
    EXPECT_FALSE(difference) << difference->toStdString();
    EXPECT_EQ(entriesOf(dir.path()), QStringList{QStringLiteral("Foto000.jpg")});
}

// Small pictures fit in one block, where 4:2:0 would blend the quarters' colours: they are
// checked at full colour resolution and quality 100.
INSTANTIATE_TEST_SUITE_P(Pictures, IjlRoundTrip,
                         ::testing::Values(RoundTrip{1, 1, 1, true, IJL_NONE, 100, TJSAMP_444},
                                           RoundTrip{1, 9, 1, true, IJL_NONE, 100, TJSAMP_444},
                                           RoundTrip{4, 6, 0, true, IJL_NONE, 100, TJSAMP_444},
                                           RoundTrip{5, 7, 1, true, IJL_NONE, 100, TJSAMP_444},
                                           RoundTrip{5, 7, 3, false, IJL_NONE, 100, TJSAMP_444},
                                           RoundTrip{101, 67, 1, true, IJL_411, 90, TJSAMP_420},
                                           RoundTrip{101, 67, 1, false, IJL_411, 90, TJSAMP_420},
                                           RoundTrip{64, 48, 0, true, IJL_411, 20, TJSAMP_420},
                                           RoundTrip{77, 50, 2, true, IJL_422, 75, TJSAMP_422},
                                           RoundTrip{77, 50, 2, false, IJL_NONE, 50, TJSAMP_444}));

TEST_F(IjlWrite, QualityChoosesTheQuantisationFrom1ToTheBest100) {
    const Pixels pixels = Pixels::noise(96, 64);
    struct Case {
        int quality;
        int firstLuminanceEntry; // the entry for the picture's average brightness
        int lastLuminanceEntry;
    };
    // At 50 the encoder uses its base tables; 1 and 100 reach the coarsest and finest steps, and
    // values outside 1 to 100 count as the nearest end.
    const Case cases[] = {{1, 255, 255}, {0, 255, 255}, {-40, 255, 255}, {50, 16, 99},
                          {100, 1, 1},   {101, 1, 1},   {1000, 1, 1}};
    for (const Case& c : cases) {
        PreparedRecord record;
        record.describe(pixels, target(), c.quality);
        ASSERT_EQ(record.write(), IJL_OK) << "quality " << c.quality;
        const std::vector<int> table = testsupport::quantisationTable(contentsOf(target()), 0);
        ASSERT_EQ(table.size(), 64u) << "quality " << c.quality;
        EXPECT_EQ(table.front(), c.firstLuminanceEntry) << "quality " << c.quality;
        EXPECT_EQ(table.back(), c.lastLuminanceEntry) << "quality " << c.quality;
    }

    qint64 previousSize = 0;
    for (const int quality : {1, 20, 75, 100}) {
        PreparedRecord record;
        record.describe(pixels, target(), quality);
        ASSERT_EQ(record.write(), IJL_OK);
        const qint64 size = QFileInfo(target()).size();
        EXPECT_GT(size, previousSize) << "quality " << quality << " gives a larger file";
        previousSize = size;
    }
}

TEST_F(IjlWrite, ReplacesAnEarlierFileAndKeepsItsPermissions) {
    writeFile(target(), QByteArray(100'000, 'x'));
    ASSERT_EQ(::chmod(QFile::encodeName(target()).constData(), 0640), 0);
    const Pixels pixels(101, 67, 1, true);
    PreparedRecord record;
    record.describe(pixels, target(), 80);
    ASSERT_EQ(record.write(), IJL_OK);
    const auto decoded = decodeJpegFile(target());
    ASSERT_TRUE(decoded) << "the earlier contents are gone";
    EXPECT_FALSE(testsupport::cornersDiffer(*decoded, 101, 67));
    EXPECT_EQ(entriesOf(dir.path()), QStringList{QStringLiteral("Foto000.jpg")});
    EXPECT_EQ(permissionsOf(target()), 0640u);
}

TEST_F(IjlWrite, GivesANewFileTheUsualPermissions) {
    const Pixels pixels(8, 8, 0, true);
    PreparedRecord record;
    record.describe(pixels, target(), 80);
    ASSERT_EQ(record.write(), IJL_OK);
    const mode_t umaskNow = ::umask(0);
    ::umask(umaskNow);
    EXPECT_EQ(permissionsOf(target()), 0666u & ~umaskNow) << "as any new file, not owner-only";
}

TEST_F(IjlWrite, WritesThroughASymbolicLink) {
    const QString real = dir.filePath(QStringLiteral("elsewhere.jpg"));
    writeFile(real, "old");
    ASSERT_TRUE(QFile::link(real, target()));
    const Pixels pixels(40, 30, 0, true);
    PreparedRecord record;
    record.describe(pixels, target(), 80);
    ASSERT_EQ(record.write(), IJL_OK);
    EXPECT_TRUE(QFileInfo(target()).isSymLink()) << "the link stays a link";
    const auto decoded = decodeJpegFile(real);
    ASSERT_TRUE(decoded) << "the file it leads to has the picture";
    EXPECT_FALSE(testsupport::cornersDiffer(*decoded, 40, 30));
    EXPECT_EQ(entriesOf(dir.path()).size(), 2);
}

TEST_F(IjlWrite, WritesNamesOutsideAsciiAndNamesOfTheLongestLength) {
    const Pixels pixels(16, 16, 0, true);
    // 255 bytes: the hidden name of a replacing write must be cut to stay a valid name.
    const QString longName = QString(125, QChar(0x00E4)) + QStringLiteral("a.jpg");
    ASSERT_EQ(QFile::encodeName(longName).size(), 255);
    // Each twice: the second write replaces the first, through a hidden name of its own.
    for (const QString& name :
         {QStringLiteral("Bäume im Größenvergleich.jpg"), longName, longName}) {
        PreparedRecord record;
        record.describe(pixels, dir.filePath(name), 50);
        EXPECT_EQ(record.write(), IJL_OK) << name.toStdString();
        EXPECT_TRUE(decodeJpegFile(dir.filePath(name))) << name.toStdString();
    }
    EXPECT_EQ(entriesOf(dir.path()).size(), 2);
}

// A record the library must refuse before it reads a pixel or touches the disk.
struct Refusal {
    const char* what;
    std::function<void(JPEG_CORE_PROPERTIES&)> spoil;
    IJLERR expected;
    IJLIOTYPE mode = IJL_JFILE_WRITEWHOLEIMAGE;
};

class IjlRefusal : public IjlWrite, public ::testing::WithParamInterface<Refusal> {};

TEST_P(IjlRefusal, ReturnsAnErrorAndWritesNothing) {
    const Pixels pixels(8, 8, 0, true);
    PreparedRecord record;
    record.describe(pixels, target(), 75);
    GetParam().spoil(record.props);
    EXPECT_EQ(ijlWrite(&record.props, GetParam().mode), GetParam().expected);
    EXPECT_EQ(entriesOf(dir.path()), QStringList());
}

INSTANTIATE_TEST_SUITE_P(
    Records, IjlRefusal,
    ::testing::Values(
        Refusal{"no pixels", [](auto& p) { p.DIBBytes = nullptr; }, IJL_INVALID_JPEG_PROPERTIES},
        Refusal{"zero width", [](auto& p) { p.DIBWidth = p.JPGWidth = 0; },
                IJL_INVALID_JPEG_PROPERTIES},
        Refusal{"negative width", [](auto& p) { p.DIBWidth = p.JPGWidth = -8; },
                IJL_INVALID_JPEG_PROPERTIES},
        Refusal{"zero height", [](auto& p) { p.DIBHeight = p.JPGHeight = 0; },
                IJL_INVALID_JPEG_PROPERTIES},
        Refusal{"too wide for a JPEG", [](auto& p) { p.DIBWidth = p.JPGWidth = 65501; },
                IJL_INVALID_JPEG_PROPERTIES},
        Refusal{"too high for a JPEG",
                [](auto& p) {
                    p.DIBHeight = -65501;
                    p.JPGHeight = 65501;
                },
                IJL_INVALID_JPEG_PROPERTIES},
        Refusal{"the most negative height",
                [](auto& p) {
                    p.DIBHeight = std::numeric_limits<std::int32_t>::min();
                    p.JPGHeight = std::numeric_limits<std::int32_t>::min();
                },
                IJL_INVALID_JPEG_PROPERTIES},
        Refusal{"negative padding", [](auto& p) { p.DIBPadBytes = -1; },
                IJL_INVALID_JPEG_PROPERTIES},
        Refusal{"padding beyond 3", [](auto& p) { p.DIBPadBytes = 4; },
                IJL_INVALID_JPEG_PROPERTIES},
        Refusal{"JPEG narrower than the pixels", [](auto& p) { p.JPGWidth = 4; },
                IJL_INVALID_JPEG_PROPERTIES},
        Refusal{"JPEG height negative", [](auto& p) { p.JPGHeight = -8; },
                IJL_INVALID_JPEG_PROPERTIES},
        Refusal{"no file name", [](auto& p) { p.JPGFile = nullptr; }, IJL_INVALID_FILENAME},
        Refusal{"empty file name", [](auto& p) { p.JPGFile = ""; }, IJL_INVALID_FILENAME},
        Refusal{"a folder's name", [](auto& p) { p.JPGFile = "/tmp/"; }, IJL_INVALID_FILENAME},
        Refusal{"4 channels", [](auto& p) { p.DIBChannels = 4; }, IJL_UNSUPPORTED_BYTES_PER_PIXEL},
        Refusal{"red-green-blue pixels", [](auto& p) { p.DIBColor = IJL_RGB; },
                IJL_UNSUPPORTED_BYTES_PER_PIXEL},
        Refusal{"grey JPEG",
                [](auto& p) {
                    p.JPGChannels = 1;
                    p.JPGColor = IJL_G;
                },
                IJL_UNSUPPORTED_BYTES_PER_PIXEL},
        Refusal{"subsampled pixels", [](auto& p) { p.DIBSubsampling = IJL_422; },
                IJL_UNSUPPORTED_SUBSAMPLING},
        Refusal{"unknown subsampling",
                [](auto& p) { p.JPGSubsampling = static_cast<IJL_SUBSAMPLING>(7); },
                IJL_UNSUPPORTED_SUBSAMPLING},
        Refusal{"a mode not offered", [](auto&) {}, IJL_UNSUPPORTED_MODE,
                static_cast<IJLIOTYPE>(2)},
        Refusal{"a record ijlInit did not prepare",
                [](auto& p) { std::fill(std::begin(p.state), std::end(p.state), std::byte{0}); },
                IJL_INVALID_JPEG_PROPERTIES}),
    [](const auto& info) {
        std::string name;
        for (const char c : std::string(info.param.what))
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

// Places the library cannot write to, even as root: it says so and leaves nothing behind.
class IjlUnwritable : public IjlWrite,
                      public ::testing::WithParamInterface<testsupport::UnwritablePlace> {};

TEST_P(IjlUnwritable, FailsAndLeavesNoFile) {
    const QString path = GetParam().make(dir.path());
    const QStringList before = entriesOf(dir.path());
    const Pixels pixels(32, 32, 0, true);
    PreparedRecord record;
    record.describe(pixels, path, 75);
    EXPECT_EQ(record.write(), IJL_FILE_ERROR);
    EXPECT_EQ(entriesOf(dir.path()), before);
    EXPECT_FALSE(QFileInfo(path).isFile());
}

INSTANTIATE_TEST_SUITE_P(Places, IjlUnwritable,
                         ::testing::ValuesIn(testsupport::unwritablePlaces()),
                         [](const auto& info) { return std::string(info.param.what); });

TEST(IjlDiskFull, KeepsTheEarlierFileAndNoTemporaryFile) {
    testsupport::onTmpfs(QStringLiteral("size=64k"), [](const QString& folder) {
        const QString target = QDir(folder).filePath(QStringLiteral("Foto000.jpg"));
        const QByteArray earlier("the earlier picture");
        writeFile(target, earlier);

        const Pixels pixels = Pixels::noise(256, 256); // far more than the 60 KiB left
        PreparedRecord record;
        using platform::hooks::AnonymousFiles; // the usual way last, so it stays
        for (const auto way : {AnonymousFiles::Refused, AnonymousFiles::AsTheSystemAllows}) {
            platform::hooks::setAnonymousFiles(way);
            for (const QString& name : {target, QDir(folder).filePath(QStringLiteral("new.jpg"))}) {
                record.describe(pixels, name, 100);
                EXPECT_EQ(record.write(), IJL_FILE_ERROR) << name.toStdString();
            }
            EXPECT_EQ(contentsOf(target), earlier);
            EXPECT_EQ(entriesOf(folder), QStringList{QStringLiteral("Foto000.jpg")});
        }

        QFile::remove(target);
        const Pixels small(16, 16, 0, true);
        record.describe(small, target, 75);
        EXPECT_EQ(record.write(), IJL_OK) << "with room again, the same record writes";
    });
}
