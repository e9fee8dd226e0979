// The conversion run over folders that users did not make themselves: every picture that can be
// read is converted, nothing else is written, no source changes, and the run neither crashes nor
// hangs nor takes memory without bound, also when the disk fills up.
#include "conversion/fortschritt.h"
#include "mainwindow/frmmain.h"
#include "platform/controls/controls.h"
#include "platform/controls/filelistbox.h"
#include "platform/controls/hscrollbar.h"
#include "platform/controls/picturebox.h"
#include "platform/errors/runtimeerror.h"
#include "platform/gdi/gdi.h"
#include "platform/picture/loadpicture.h"
#include "support/cornerpicture.h"
#include "support/decodedjpeg.h"
#include "support/errornumber.h"
#include "support/hostilefolder.h"
#include "support/messageboxes.h"
#include "support/programfolder.h"
#include "support/pumps.h"
#include "support/sanitizers.h"
#include "support/scratchfilesystem.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <set>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using testsupport::HostileFolder;
using Expect = HostileFolder::Expect;

// No file of the hostile folder may need more than this much memory beyond what the process
// held before (the valid pictures are tiny; the sanitizer's quarantine of freed memory counts).
constexpr long kPeakGrowthLimitKb = 512L * 1024;

long peakResidentKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Caps the address space while it lives, so that an allocation beyond the cap fails at once
// instead of succeeding lazily. The sanitizer's shadow memory needs terabytes of address space,
// so there the cap is left off and the peak of resident memory is all that is checked.
class AddressSpaceCap {
public:
    explicit AddressSpaceCap(long long extraBytes) {
        if (testsupport::kAddressSanitizer || testsupport::kThreadSanitizer)
            return;
        QFile statm(QStringLiteral("/proc/self/statm"));
        if (!statm.open(QIODevice::ReadOnly) || getrlimit(RLIMIT_AS, &previous_) != 0)
            return;
        const long long pages = statm.readAll().split(' ').value(0).toLongLong();
        rlimit cap = previous_;
        cap.rlim_cur = static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE) + extraBytes);
        active_ = setrlimit(RLIMIT_AS, &cap) == 0;
    }
    ~AddressSpaceCap() {
        if (active_)
            setrlimit(RLIMIT_AS, &previous_);
    }
    AddressSpaceCap(const AddressSpaceCap&) = delete;
    AddressSpaceCap& operator=(const AddressSpaceCap&) = delete;

private:
    rlimit previous_{};
    bool active_ = false;
};

// The loader's verdict on a file: its picture's size, or the error number.
struct Verdict {
    int error = 0;
    QSize size;
};
Verdict load(const QString& path) {
    Verdict verdict;
    verdict.error = testsupport::errorNumber([&] {
        const platform::PictureDisp picture = platform::LoadPicture(path);
        gdi::BITMAP description{};
        gdi::GetObjectA(picture->Handle(), sizeof description, &description);
        verdict.size = {description.bmWidth, description.bmHeight};
    });
    return verdict;
}

QString outputName(int index) {
    return QStringLiteral("Foto%1.jpg").arg(index, 3, 10, QLatin1Char('0'));
}

class HostileFolderRun : public testsupport::ProgramFolderTest,
                         public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override { ASSERT_TRUE(pictures.isValid()); }
    // QTemporaryDir gives up on the links that lead nowhere.
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(QFile::encodeName(pictures.path()).toStdString(), ignored);
    }

    frmMain& start(const QString& folder, const QString& pattern) {
        frmMain& w = forms().show<frmMain>();
        w.Dateiliste->setPath(folder);
        w.Dateiliste->setPattern(pattern);
        platform::setText(*w.Pfad, folder);
        return w;
    }
    static QStringList listed(const frmMain& w) {
        QStringList names;
        for (int i = 0; i < w.Dateiliste->ListCount(); ++i)
            names.append(w.Dateiliste->List(i));
        return names;
    }
    // Every name in the folder, hidden ones and special files included.
    static std::set<QString> everything(const QString& folder) {
        std::set<QString> names;
        for (const auto& [name, print] : HostileFolder::fingerprint(folder))
            names.insert(name);
        return names;
    }
    QString lastLabel() const { return lastLabel_; }
    void watchLabel() {
        if (const Fortschritt* window = forms().find<Fortschritt>())
            lastLabel_ = window->lblFortschritt->text();
    }

    QTemporaryDir pictures;
    testsupport::MessageBoxes boxes;
    testsupport::Pumps pumps;
    QString lastLabel_;
};

TEST_P(HostileFolderRun, ConvertsEveryReadablePictureAndLeavesEverythingElseAsItWas) {
    const HostileFolder hostile(pictures.path());
    frmMain& w = start(pictures.path(), QString::fromLatin1(GetParam()));
    w.Qualitaet->setValue(95); // small pictures keep their quarters' colours
    const QStringList names = listed(w);
    ASSERT_FALSE(names.isEmpty());
    for (const HostileFolder::Entry& entry : hostile.entries()) {
        if (entry.expect == Expect::Unlisted) {
            EXPECT_FALSE(names.contains(entry.name)) << entry.name.toStdString();
        }
    }

    std::map<QString, QByteArray> expected = HostileFolder::fingerprint(pictures.path());
    // The first pump comes after the list was copied and before the first file is loaded.
    pumps.onPump([&](int number) {
        watchLabel();
        if (number == 0)
            hostile.spoil();
    });
    const int objectsBefore = gdi::liveObjectCount();
    const long peakBefore = peakResidentKb();
    {
        const AddressSpaceCap cap(2LL << 30);
        QTest::mouseClick(w.cmd_Save, Qt::LeftButton);
    }
    EXPECT_LE(peakResidentKb() - peakBefore, kPeakGrowthLimitKb);
    // Only the last picture loaded is still held, by the hidden picture box.
    EXPECT_EQ(gdi::liveObjectCount(), objectsBefore + (w.Quelle->Picture() ? 1 : 0));
    EXPECT_FALSE(forms().isLoaded<Fortschritt>());
    EXPECT_TRUE(w.isEnabled());
    EXPECT_EQ(lastLabel(), QStringLiteral("%1 von %1 Dateien.").arg(names.size()));
    for (const auto& box : boxes.shown())
        ADD_FAILURE() << "message: " << box.prompt.toStdString();

    // What became of each listed file, by its running number.
    std::set<QString> outputs;
    for (int index = 0; index < names.size(); ++index) {
        const QString& name = names[index];
        const QString output = pictures.filePath(outputName(index));
        const HostileFolder::Entry* entry = hostile.find(name);
        ASSERT_NE(entry, nullptr) << "listed but not made: " << name.toStdString();
        SCOPED_TRACE(name.toStdString());
        std::optional<QSize> size;
        switch (entry->expect) {
        case Expect::Converted:
            size = entry->size;
            break;
        case Expect::LoaderDecides:
            if (const Verdict verdict = load(pictures.filePath(name)); verdict.error == 0)
                size = verdict.size;
            else
                EXPECT_EQ(verdict.error, platform::ErrInvalidPicture);
            break;
        case Expect::Refused:
            // Refused at the header, before memory is taken for what it claims.
            EXPECT_EQ(load(pictures.filePath(name)).error, platform::ErrInvalidPicture);
            break;
        case Expect::Unlisted:
        case Expect::Vanishes:
            break;
        }
        if (!size) {
            EXPECT_FALSE(QFile::exists(output)) << outputName(index).toStdString();
            continue;
        }
        outputs.insert(outputName(index));
        const auto decoded = testsupport::decodeJpegFile(output);
        ASSERT_TRUE(decoded) << outputName(index).toStdString() << " is no JPEG";
        if (entry->expect == Expect::Converted) {
            const auto differs =
                testsupport::cornersDiffer(*decoded, size->width(), size->height());
            EXPECT_FALSE(differs) << differs.value_or(QString()).toStdString();
        } else {
            EXPECT_EQ(QSize(decoded->width, decoded->height), *size);
        }
    }

    // Every source as it was (but for what was done to it behind the run's back), the outputs
    // beside them, and nothing else: no temporary file.
    expected.erase(QStringLiteral("verschwindet.jpg"));
    expected[QStringLiteral("wird-fifo.gif")] = "fifo";
    std::map<QString, QByteArray> after = HostileFolder::fingerprint(pictures.path());
    for (const QString& output : outputs)
        after.erase(output);
    EXPECT_EQ(after, expected);
}

INSTANTIATE_TEST_SUITE_P(Patterns, HostileFolderRun,
                         ::testing::Values("*.*", "*.jpg;*.gif;*.bmp;*.dib"),
                         [](const auto& info) { return info.index == 0 ? "All" : "Pictures"; });

// A picture of random pixels: its JPEG file is about as large as its pixels.
QImage noise(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    QRandomGenerator random(7);
    for (int y = 0; y < height; ++y) {
        auto* row = image.scanLine(y);
        for (int x = 0; x < 3 * width; ++x)
            row[x] = static_cast<uchar>(random.bounded(256));
    }
    return image;
}

// Fills the file system of folder up to about `free` bytes.
void fillUp(const QString& folder, qint64 free) {
    const QByteArray name = QFile::encodeName(folder + QStringLiteral("/.voll"));
    const int file = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(file, 0);
    const QByteArray block(64 * 1024, '\0');
    qint64 size = 0;
    for (;;) {
        const ssize_t written = ::write(file, block.constData(), static_cast<size_t>(block.size()));
        if (written <= 0)
            break;
        size += written;
    }
    ASSERT_EQ(errno, ENOSPC);
    ASSERT_EQ(::ftruncate(file, size > free ? size - free : 0), 0);
    ::close(file);
}

TEST_F(HostileFolderRun, AFullDiskFailsTheFilesThatDoNotFitAndTheRunGoesOn) {
    testsupport::onTmpfs(QStringLiteral("size=2m"), [this](const QString& folder) {
        ASSERT_TRUE(noise(256, 256).save(folder + QStringLiteral("/a-gross.bmp"), "BMP"));
        QFile small(folder + QStringLiteral("/b-klein.bmp"));
        ASSERT_TRUE(small.open(QIODevice::WriteOnly));
        small.write(testsupport::hostile::quarteredBmp(16, 12));
        small.close();
        ASSERT_TRUE(noise(240, 250).save(folder + QStringLiteral("/c-gross.bmp"), "BMP"));
        QFile last(folder + QStringLiteral("/d-klein.bmp"));
        ASSERT_TRUE(last.open(QIODevice::WriteOnly));
        last.write(testsupport::hostile::quarteredBmp(20, 10));
        last.close();
        fillUp(folder, 48 * 1024);
        const std::map<QString, QByteArray> before = HostileFolder::fingerprint(folder);

        frmMain& w = start(folder, QStringLiteral("*.bmp"));
        w.Qualitaet->setValue(100);
        pumps.onPump([this](int) { watchLabel(); });
        QTest::mouseClick(w.cmd_Save, Qt::LeftButton);

        // One message for each large picture; the small ones fit and are written.
        ASSERT_EQ(boxes.count(), 2);
        for (const auto& box : boxes.shown()) {
            EXPECT_EQ(box.prompt, QStringLiteral("Failed to save to JPG"));
            EXPECT_EQ(box.title, QStringLiteral("Kalmora"));
        }
        EXPECT_EQ(lastLabel(), QStringLiteral("4 von 4 Dateien."));
        for (const auto& [index, width, height] : {std::tuple{1, 16, 12}, std::tuple{3, 20, 10}}) {
            const auto decoded = testsupport::decodeJpegFile(folder + u'/' + outputName(index));
            ASSERT_TRUE(decoded) << outputName(index).toStdString();
            const auto differs = testsupport::cornersDiffer(*decoded, width, height);
            EXPECT_FALSE(differs) << differs.value_or(QString()).toStdString();
        }
        // No partial or temporary file; the sources as they were.
        std::map<QString, QByteArray> after = HostileFolder::fingerprint(folder);
        after.erase(outputName(1));
        after.erase(outputName(3));
        EXPECT_EQ(after, before);
    });
}

} // namespace
