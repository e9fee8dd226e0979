#include "conversion/writejpegfile.h"
#include "image/cdibsection.h"
#include "platform/errors/runtimeerror.h"
#include "platform/jpeg/ijl.h"
#include "support/cornerpicture.h"
#include "support/decodedjpeg.h"
#include "support/files.h"
#include "support/messageboxes.h"
#include "support/scratchfilesystem.h"
#include "support/unwritableplaces.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <string>

using testsupport::contentsOf;
using testsupport::decodeJpegFile;
using testsupport::entriesOf;
using testsupport::writeFile;

namespace {

// What the library was handed: the record's fields (the file name as text) and the mode.
struct SeenRecord {
    ijl::JPEG_CORE_PROPERTIES fields;
    std::string file;
    ijl::IJLIOTYPE mode;
};

// Watches ijlWrite while it lives.
class RecordSpy {
public:
    RecordSpy() {
        ijl::hooks::setWriteObserver(
            [this](const ijl::JPEG_CORE_PROPERTIES& props, ijl::IJLIOTYPE mode) {
                auto seen = std::make_unique<SeenRecord>();
                seen->fields = props;
                seen->file = props.JPGFile ? props.JPGFile : "";
                seen->mode = mode;
                records_.push_back(std::move(seen));
            });
    }
    ~RecordSpy() { ijl::hooks::setWriteObserver({}); }
    RecordSpy(const RecordSpy&) = delete;
    RecordSpy& operator=(const RecordSpy&) = delete;

    int count() const { return static_cast<int>(records_.size()); }
    const SeenRecord& last() const { return *records_.back(); }

private:
    std::vector<std::unique_ptr<SeenRecord>> records_;
};

// Makes ijlInit fail while it lives.
class InitFailure {
public:
    explicit InitFailure(ijl::IJLERR code) { ijl::hooks::setInitFailure(code); }
    ~InitFailure() { ijl::hooks::setInitFailure(ijl::IJL_OK); }
    InitFailure(const InitFailure&) = delete;
    InitFailure& operator=(const InitFailure&) = delete;
};

// A buffer holding the four-quarter picture, as CreateFromPicture leaves one.
std::unique_ptr<cDIBSection> cornerBuffer(int width, int height) {
    auto buffer = std::make_unique<cDIBSection>();
    EXPECT_TRUE(buffer->Create(width, height));
    if (buffer->DIBSectionBitsPtr())
        testsupport::paintCorners(buffer->DIBSectionBitsPtr(), width, height,
                                  buffer->BytesPerScanLine(), true);
    return buffer;
}

// A buffer of random pixels: nothing for the encoder to save on.
std::unique_ptr<cDIBSection> noiseBuffer(int width, int height) {
    auto buffer = std::make_unique<cDIBSection>();
    EXPECT_TRUE(buffer->Create(width, height));
    std::mt19937 generator(3);
    std::uint8_t* bits = buffer->DIBSectionBitsPtr();
    const std::size_t size = static_cast<std::size_t>(buffer->BytesPerScanLine()) * height;
    for (std::size_t i = 0; bits && i < size; ++i)
        bits[i] = static_cast<std::uint8_t>(generator());
    return buffer;
}

void expectOneBox(const testsupport::MessageBoxes& boxes, const QString& text) {
    ASSERT_EQ(boxes.count(), 1);
    const platform::MessageBoxRequest& box = boxes.shown().front();
    EXPECT_EQ(box.prompt, text);
    EXPECT_EQ(box.style, platform::vbOKOnly | platform::vbExclamation) << "OK only, exclamation";
    EXPECT_EQ(box.title, QStringLiteral("Kalmora"));
}

const QString kSaveFailed = QStringLiteral("Failed to save to JPG");

class WriteJpegFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    testsupport::MessageBoxes boxes;
    const int liveRecordsBefore = ijl::liveRecordCount();

    QString target() const { return dir.filePath(QStringLiteral("Foto000.jpg")); }

    void TearDown() override {
        EXPECT_EQ(ijl::liveRecordCount(), liveRecordsBefore) << "the library's record is released";
    }
};

} // namespace

// Buffers whose rows end in 1, 0 and 1 spare bytes.
struct Stride {
    int width;
    int height;
    int padBytes;
};

class WriteJpegFileRecord : public WriteJpegFileTest,
                            public ::testing::WithParamInterface<Stride> {};

TEST_P(WriteJpegFileRecord, DescribesTheBufferToTheLibrary) {
    const Stride& c = GetParam();
    const auto buffer = cornerBuffer(c.width, c.height);
    RecordSpy spy;
    ASSERT_TRUE(WriteJpegFile(*buffer, target(), 60));
    ASSERT_EQ(spy.count(), 1);
    const SeenRecord& seen = spy.last();
    EXPECT_EQ(seen.mode, ijl::IJL_JFILE_WRITEWHOLEIMAGE);
    EXPECT_EQ(seen.fields.DIBBytes, buffer->DIBSectionBitsPtr());
    EXPECT_EQ(seen.fields.DIBWidth, c.width);
    EXPECT_EQ(seen.fields.DIBHeight, -c.height) << "negative: the rows lie bottom-up";
    EXPECT_EQ(seen.fields.DIBPadBytes, c.padBytes);
    EXPECT_EQ(seen.fields.JPGWidth, c.width);
    EXPECT_EQ(seen.fields.JPGHeight, c.height);
    EXPECT_EQ(seen.fields.jquality, 60);
    EXPECT_EQ(seen.file, QFile::encodeName(target()).toStdString());
    // Everything else as ijlInit left it.
    EXPECT_EQ(seen.fields.DIBChannels, 3);
    EXPECT_EQ(seen.fields.DIBColor, ijl::IJL_BGR);
    EXPECT_EQ(seen.fields.JPGChannels, 3);
    EXPECT_EQ(seen.fields.JPGColor, ijl::IJL_YCBCR);
    EXPECT_EQ(seen.fields.JPGSubsampling, ijl::IJL_411);

    const auto decoded = decodeJpegFile(target());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, c.width);
    EXPECT_EQ(decoded->height, c.height);
    EXPECT_EQ(boxes.count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Widths, WriteJpegFileRecord,
                         ::testing::Values(Stride{1, 1, 1}, Stride{4, 3, 0}, Stride{5, 2, 1},
                                           Stride{101, 67, 1}),
                         [](const auto& info) {
                             return "Width" + std::to_string(info.param.width);
                         });

TEST_F(WriteJpegFileTest, QualityReachesTheLibraryUnchanged) {
    const auto buffer = noiseBuffer(64, 48);
    qint64 previousSize = 0;
    for (const int quality : {1, 100}) {
        RecordSpy spy;
        ASSERT_TRUE(WriteJpegFile(*buffer, target(), quality));
        ASSERT_EQ(spy.count(), 1);
        EXPECT_EQ(spy.last().fields.jquality, quality);
        const qint64 size = QFileInfo(target()).size();
        EXPECT_GT(size, previousSize) << "quality " << quality;
        previousSize = size;
    }
}

TEST_F(WriteJpegFileTest, WritesThePictureUprightInItsOwnColours) {
    const auto buffer = cornerBuffer(101, 67);
    ASSERT_TRUE(WriteJpegFile(*buffer, target(), 90));
    const auto decoded = decodeJpegFile(target());
    ASSERT_TRUE(decoded) << "not a JPEG";
    const auto difference = testsupport::cornersDiffer(*decoded, 101, 67);
    EXPECT_FALSE(difference) << difference->toStdString();
    EXPECT_EQ(entriesOf(dir.path()), QStringList{QStringLiteral("Foto000.jpg")});
    EXPECT_EQ(boxes.count(), 0);
}

TEST_F(WriteJpegFileTest, ReplacesAnExistingFileOfTheSameName) {
    writeFile(target(), QByteArray(50'000, 'x'));
    const auto buffer = cornerBuffer(40, 30);
    ASSERT_TRUE(WriteJpegFile(*buffer, target(), 75));
    const auto decoded = decodeJpegFile(target());
    ASSERT_TRUE(decoded);
    EXPECT_FALSE(testsupport::cornersDiffer(*decoded, 40, 30));
    EXPECT_EQ(entriesOf(dir.path()), QStringList{QStringLiteral("Foto000.jpg")});
}

TEST_F(WriteJpegFileTest, KeepsAFileNameOutsideAscii) {
    const auto buffer = cornerBuffer(16, 16);
    const QString name = QStringLiteral("Bäume am Fluss 001.jpg");
    ASSERT_TRUE(WriteJpegFile(*buffer, dir.filePath(name), 75));
    EXPECT_EQ(entriesOf(dir.path()), QStringList{name});
}

class WriteJpegFileUnwritable : public WriteJpegFileTest,
                                public ::testing::WithParamInterface<testsupport::UnwritablePlace> {
};

TEST_P(WriteJpegFileUnwritable, ShowsOneMessageAndWritesNothing) {
    const QString path = GetParam().make(dir.path());
    const QStringList before = entriesOf(dir.path());
    const auto buffer = cornerBuffer(32, 32);
    EXPECT_FALSE(WriteJpegFile(*buffer, path, 75));
    expectOneBox(boxes, kSaveFailed);
    EXPECT_EQ(entriesOf(dir.path()), before) << "no file and no temporary file";
    EXPECT_FALSE(QFileInfo(path).isFile());
}

INSTANTIATE_TEST_SUITE_P(Places, WriteJpegFileUnwritable,
                         ::testing::ValuesIn(testsupport::unwritablePlaces()),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(WriteJpegFileTest, AnEmptyBufferIsAFailureToSave) {
    const cDIBSection never;
    EXPECT_FALSE(WriteJpegFile(never, target(), 75));
    expectOneBox(boxes, kSaveFailed);
    EXPECT_EQ(entriesOf(dir.path()), QStringList());
}

TEST_F(WriteJpegFileTest, ALibraryThatCannotStartIsReportedWithItsCode) {
    const auto buffer = cornerBuffer(8, 8);
    RecordSpy spy;
    {
        const InitFailure failure(ijl::IJL_MEMORY_ERROR);
        EXPECT_FALSE(WriteJpegFile(*buffer, target(), 75));
    }
    expectOneBox(boxes, QStringLiteral("Failed to initialise the IJL library: -5"));
    EXPECT_EQ(spy.count(), 0) << "nothing is written";
    EXPECT_EQ(entriesOf(dir.path()), QStringList());
}

// Buffers whose sizes do not fit the 32-bit arithmetic: the error reaches the caller.
struct Oversize {
    const char* what;
    std::int32_t width;
    std::int32_t height;
};

class WriteJpegFileOverflow : public WriteJpegFileTest,
                              public ::testing::WithParamInterface<Oversize> {};

TEST_P(WriteJpegFileOverflow, PassesTheOverflowToTheCallerWithoutAMessage) {
    cDIBSection buffer;
    // Creating such a buffer fails, but it keeps describing the requested size.
    try {
        buffer.Create(GetParam().width, GetParam().height);
    } catch (const platform::RuntimeError&) {
    }
    ASSERT_EQ(buffer.Width(), GetParam().width);
    ASSERT_EQ(buffer.Height(), GetParam().height);
    try {
        WriteJpegFile(buffer, target(), 75);
        ADD_FAILURE() << "no error raised";
    } catch (const platform::RuntimeError& e) {
        EXPECT_EQ(e.number(), platform::ErrOverflow);
    }
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_EQ(entriesOf(dir.path()), QStringList());
}

INSTANTIATE_TEST_SUITE_P(Sizes, WriteJpegFileOverflow,
                         ::testing::Values(Oversize{"HeightWithoutANegative", 1,
                                                    std::numeric_limits<std::int32_t>::min()},
                                           Oversize{"RowLengthBeyond32Bits", 0x40000000, 1}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST(WriteJpegFileDiskFull, KeepsTheEarlierFileAndLeavesNoTemporaryFile) {
    testsupport::onTmpfs(QStringLiteral("size=64k"), [](const QString& folder) {
        testsupport::MessageBoxes boxes;
        const QString target = QDir(folder).filePath(QStringLiteral("Foto000.jpg"));
        const QByteArray earlier("the picture of an earlier run");
        writeFile(target, earlier);

        const auto buffer = noiseBuffer(256, 256); // far more than the 60 KiB left
        EXPECT_FALSE(WriteJpegFile(*buffer, target, 100));
        expectOneBox(boxes, kSaveFailed);
        EXPECT_EQ(contentsOf(target), earlier);
        EXPECT_EQ(entriesOf(folder), QStringList{QStringLiteral("Foto000.jpg")});
    });
}
