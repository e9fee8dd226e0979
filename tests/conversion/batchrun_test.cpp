// The conversion run of "&Umwandeln", driven through the real windows on generated folders.
#include "conversion/fortschritt.h"
#include "conversion/outputname.h"
#include "dialogs/pfadauswahl.h"
#include "mainwindow/frmmain.h"
#include "platform/controls/controls.h"
#include "platform/controls/dirlistbox.h"
#include "platform/controls/filelistbox.h"
#include "platform/controls/hscrollbar.h"
#include "platform/controls/picturebox.h"
#include "platform/controls/progressbar.h"
#include "platform/controls/textbox.h"
#include "platform/files/filenames.h"
#include "platform/files/wholefile.h"
#include "platform/jpeg/ijl.h"
#include "platform/picture/decodedpicture.h"
#include "platform/picture/readahead.h"
#include "support/decodedjpeg.h"
#include "support/hostilefolder.h"
#include "support/messageboxes.h"
#include "support/programfolder.h"
#include "support/pumps.h"
#include "support/qtprinters.h"
#include "support/scratchfilesystem.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

using testsupport::Rgb;

// Colours that survive JPEG coding at quality 20 well apart from each other.
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kBlue{0, 0, 255};
constexpr Rgb kYellow{255, 255, 0};
constexpr Rgb kCyan{0, 255, 255};
constexpr Rgb kMagenta{255, 0, 255};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kPalette[] = {kRed, kGreen, kBlue, kYellow, kCyan, kMagenta, kWhite, kBlack};

// The process's address space in use now (VmSize).
std::int64_t addressSpaceBytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmSize:"))
            return line.mid(7).trimmed().split(' ').value(0).toLongLong() * 1024;
    return 0;
}

QImage solid(const Rgb& colour, int width = 16, int height = 16) {
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(QColor(colour[0], colour[1], colour[2]));
    return image;
}

// Whether the process may use more than one processor: only then is anything read ahead.
bool severalProcessors() {
    cpu_set_t set;
    return ::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 1;
}

// The read-ahead's worker threads now.
int readAheadThreads() {
    int count = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(tasks.filePath(task + QStringLiteral("/comm")));
        count += name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == "picture-ahead";
    }
    return count;
}

class BatchRunTest : public testsupport::ProgramFolderTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(pictures.isValid());
        pumps.onPump([this](int) { recordLabel(); });
    }
    void TearDown() override { platform::hooks::setReadAheadBudget(std::nullopt); }

    QString folderPath() const { return pictures.path(); }
    QString at(const QString& name) const { return folderPath() + u'/' + name; }
    void save(const QString& name, const QImage& image, const char* format) const {
        ASSERT_TRUE(image.save(at(name), format)) << name.toStdString();
    }
    void bmp(const QString& name, const Rgb& colour) const { save(name, solid(colour), "BMP"); }
    void notAPicture(const QString& name) const {
        QFile file(at(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("no picture at all");
    }

    // The main window on the picture folder, as start-up and the folder entry leave it.
    frmMain& start(const QString& pattern = QStringLiteral("*.*")) {
        frmMain& w = forms().show<frmMain>();
        w.Dateiliste->setPath(folderPath());
        w.Dateiliste->setPattern(pattern);
        platform::setText(*w.Pfad, folderPath());
        return w;
    }
    void click(frmMain& w) { QTest::mouseClick(w.cmd_Save, Qt::LeftButton); }

    // Runs at every message pump of the run, after the label was noted.
    void atPump(std::function<void(int)> action) {
        pumps.onPump([this, action = std::move(action)](int number) {
            recordLabel();
            action(number);
        });
    }
    void recordLabel() {
        if (const Fortschritt* w = forms().find<Fortschritt>())
            labels.append(w->lblFortschritt->text());
    }

    // Every name in the folder, hidden ones included, in the order of the file list.
    QStringList files() const {
        QStringList names = QDir(folderPath()).entryList(QDir::Files | QDir::Hidden | QDir::System);
        std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
            const int folded = a.compare(b, Qt::CaseInsensitive);
            return folded != 0 ? folded < 0 : a < b;
        });
        return names;
    }
    // The middle pixel of a decoded output; black for a file that does not decode.
    Rgb colourOf(const QString& name) const {
        const auto decoded = testsupport::decodeJpegFile(at(name));
        if (!decoded) {
            ADD_FAILURE() << name.toStdString() << " does not decode";
            return {-1, -1, -1};
        }
        return decoded->pixel(decoded->width / 2, decoded->height / 2);
    }
    void expectColour(const QString& name, const Rgb& colour) const {
        const Rgb found = colourOf(name);
        EXPECT_TRUE(testsupport::near(found, colour, 40))
            << name.toStdString() << " is " << found[0] << ' ' << found[1] << ' ' << found[2]
            << ", expected " << colour[0] << ' ' << colour[1] << ' ' << colour[2];
    }
    // After every run: the window is gone, the main window takes input, the flag is down.
    void expectIdle(frmMain& w) {
        EXPECT_FALSE(forms().isLoaded<Fortschritt>());
        EXPECT_TRUE(w.isEnabled());
        EXPECT_FALSE(w.Abbr);
    }

    QTemporaryDir pictures;
    testsupport::MessageBoxes boxes;
    testsupport::Pumps pumps;
    QStringList labels; // the label's text at each pump, while the window is there
};

TEST_F(BatchRunTest, OneBitmapBecomesFoto000) {
    bmp("a.bmp", kBlue);
    frmMain& w = start();
    bool modeless = false;
    atPump([&](int number) {
        if (number != 0)
            return;
        const Fortschritt* window = forms().find<Fortschritt>();
        ASSERT_NE(window, nullptr);
        modeless = window->isVisible() && !window->isModal() && !window->parentWidget();
        EXPECT_FALSE(w.isEnabled());
    });
    click(w);

    EXPECT_EQ(files(), QStringList({"a.bmp", "Foto000.jpg"}));
    expectColour("Foto000.jpg", kBlue);
    EXPECT_TRUE(modeless);
    EXPECT_EQ(labels, QStringList({"", "1 von 1 Dateien."}));
    EXPECT_EQ(boxes.count(), 0);
    expectIdle(w);
}

struct Naming {
    const char* label;
    int files;
    const char* base;
    int extension; // 0 ".jpg", 1 ".JPG", 2 none
    const char* folderSuffix;
    std::vector<const char*> present; // outputs that must be there
    const char* absent;               // the first number that must not
};

void PrintTo(const Naming& naming, std::ostream* out) {
    *out << naming.label;
}

class BatchRunNaming : public BatchRunTest, public ::testing::WithParamInterface<Naming> {};

TEST_P(BatchRunNaming, NamesTheOutputsByBaseNumberAndExtension) {
    const Naming& naming = GetParam();
    const QImage picture = solid(kGreen, 2, 2);
    for (int i = 0; i < naming.files; ++i)
        save(QStringLiteral("src%1.bmp").arg(i, 5, 10, QLatin1Char('0')), picture, "BMP");
    frmMain& w = start(QStringLiteral("*.bmp"));
    platform::setText(*w.Pfad, folderPath() + QString::fromUtf8(naming.folderSuffix));
    platform::setText(*w.Dateiname, QString::fromUtf8(naming.base));
    w.ExtGr->setChecked(naming.extension == 1);
    if (naming.extension == 2) {
        QButtonGroup& group = *w.ExtKl->group();
        group.setExclusive(false);
        w.ExtKl->setChecked(false);
        w.ExtGr->setChecked(false);
        group.setExclusive(true);
    }
    click(w);

    const QStringList names = files();
    EXPECT_EQ(names.size(), 2 * naming.files);
    for (const char* present : naming.present)
        EXPECT_TRUE(names.contains(QString::fromUtf8(present))) << present;
    EXPECT_FALSE(names.contains(QString::fromUtf8(naming.absent))) << naming.absent;
    EXPECT_EQ(labels.last(), QStringLiteral("%1 von %1 Dateien.").arg(naming.files));
    expectIdle(w);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, BatchRunNaming,
    ::testing::Values(
        Naming{"Twelve",
               12,
               "Foto",
               0,
               "",
               {"Foto000.jpg", "Foto009.jpg", "Foto010.jpg", "Foto011.jpg"},
               "Foto012.jpg"},
        Naming{"ThousandAndOne",
               1001,
               "Foto",
               0,
               "",
               {"Foto000.jpg", "Foto099.jpg", "Foto100.jpg", "Foto999.jpg", "Foto1000.jpg"},
               "Foto1001.jpg"},
        Naming{"CapitalExtension", 2, "Foto", 1, "", {"Foto000.JPG", "Foto001.JPG"}, "Foto000.jpg"},
        Naming{"NoExtension", 2, "Foto", 2, "", {"Foto000", "Foto001"}, "Foto000.jpg"},
        Naming{"EmptyBase", 3, "", 0, "", {"000.jpg", "001.jpg", "002.jpg"}, "003.jpg"},
        Naming{"FolderEndingInSeparator",
               2,
               "Bild",
               0,
               "/",
               {"Bild000.jpg", "Bild001.jpg"},
               "Bild002.jpg"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(BatchRunTest, AFileThatIsNoPictureLeavesAGapAndTheNextOnesAreTheirOwn) {
    bmp("1.bmp", kRed);
    bmp("2.bmp", kGreen);
    bmp("3.bmp", kBlue);
    notAPicture("4.bmp");
    bmp("5.bmp", kYellow);
    bmp("6.bmp", kCyan);
    frmMain& w = start();
    click(w);

    EXPECT_EQ(files(),
              QStringList({"1.bmp", "2.bmp", "3.bmp", "4.bmp", "5.bmp", "6.bmp", "Foto000.jpg",
                           "Foto001.jpg", "Foto002.jpg", "Foto004.jpg", "Foto005.jpg"}));
    expectColour("Foto002.jpg", kBlue);
    expectColour("Foto004.jpg", kYellow);
    expectColour("Foto005.jpg", kCyan);
    EXPECT_EQ(labels.last(), "6 von 6 Dateien.");
    EXPECT_EQ(boxes.count(), 0);
    expectIdle(w);
}

TEST_F(BatchRunTest, AnEmptyFolderIsReportedAndNothingElseHappens) {
    notAPicture("a.txt");
    frmMain& w = start(QStringLiteral("*.jpg"));
    w.Abbr = true;
    bool windowDuringMessage = true;
    boxes.onShow([&](const auto&) { windowDuringMessage = forms().isLoaded<Fortschritt>(); });
    click(w);

    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.shown()[0].prompt, "Im ausgewählten Verzeichnis befinden sich keine Bilder!");
    EXPECT_EQ(boxes.shown()[0].style, platform::vbOKOnly | platform::vbInformation);
    EXPECT_EQ(boxes.shown()[0].title, "Kalmora");
    EXPECT_FALSE(windowDuringMessage);
    EXPECT_EQ(pumps.count(), 0);
    EXPECT_EQ(files(), QStringList({"a.txt"}));
    EXPECT_TRUE(w.Abbr); // untouched
    EXPECT_TRUE(w.isEnabled());
}

class BatchRunCancel : public BatchRunTest {
protected:
    frmMain& tenFiles() {
        for (int i = 0; i < 10; ++i)
            bmp(QStringLiteral("p%1.bmp").arg(i), kPalette[i % 8]);
        return start(QStringLiteral("*.bmp"));
    }
    QStringList outputs() const { return files().filter(QStringLiteral("Foto")); }
    QStringList numbered(int count) const {
        QStringList names;
        for (int i = 0; i < count; ++i)
            names.append(QStringLiteral("Foto%1.jpg").arg(conversion::RunningNumber(i)));
        return names;
    }
};

TEST_F(BatchRunCancel, AbbrechenDuringTheThirdFileKeepsTheFirstThreeAndTheNextClickDoesAll) {
    frmMain& w = tenFiles();
    const int openedBefore = platform::hooks::readAheadFilesOpened();
    // Pump 0 draws the window; pump n follows file n.
    atPump([&](int number) {
        if (number == 3)
            QTest::mouseClick(forms().find<Fortschritt>()->Abbrechen, Qt::LeftButton);
    });
    click(w);
    EXPECT_EQ(outputs(), numbered(3));
    EXPECT_EQ(labels.last(), "3 von 10 Dateien.");
    expectIdle(w);
    // The files after the third were read ahead, but none is opened once the run has returned,
    // and the workers end with decodes still in flight.
    const int opened = platform::hooks::readAheadFilesOpened();
    EXPECT_TRUE(!severalProcessors() || (opened > openedBefore + 3 && readAheadThreads() > 0));
    platform::endReadAheadWorkers();
    EXPECT_EQ(platform::hooks::readAheadFilesOpened(), opened);
    EXPECT_EQ(readAheadThreads(), 0);

    atPump([](int) {});
    labels.clear();
    click(w);
    EXPECT_EQ(outputs(), numbered(10));
    EXPECT_EQ(labels.last(), "10 von 10 Dateien.");
    expectColour("Foto009.jpg", kPalette[9 % 8]);
    expectIdle(w);
}

TEST_F(BatchRunCancel, AbbrechenWhileTheWindowIsFirstDrawnConvertsNothing) {
    frmMain& w = tenFiles();
    atPump([&](int number) {
        if (number == 0)
            QTest::mouseClick(forms().find<Fortschritt>()->Abbrechen, Qt::LeftButton);
    });
    click(w);
    EXPECT_EQ(outputs(), QStringList());
    EXPECT_EQ(pumps.count(), 1);
    expectIdle(w);
}

TEST_F(BatchRunCancel, AbbrechenByItsAccessKeyStopsBeforeTheNextFile) {
    frmMain& w = tenFiles();
    atPump([&](int number) {
        if (number == 1)
            QTest::keyClick(forms().find<Fortschritt>(), Qt::Key_A, Qt::AltModifier);
    });
    click(w);
    EXPECT_EQ(outputs(), numbered(1));
    expectIdle(w);
}

TEST_F(BatchRunCancel, AbbrechenDuringTheLastFileEndsAsAFullRun) {
    frmMain& w = tenFiles();
    atPump([&](int number) {
        if (number == 10)
            QTest::mouseClick(forms().find<Fortschritt>()->Abbrechen, Qt::LeftButton);
    });
    click(w);
    EXPECT_EQ(outputs(), numbered(10));
    expectIdle(w);
}

TEST_F(BatchRunCancel, ACloseRequestRightAfterAbbrechenEndsTheRunAndTheProgram) {
    frmMain& w = tenFiles();
    const QPointer<frmMain> main(&w);
    atPump([&](int number) {
        if (number != 2)
            return;
        QTest::mouseClick(forms().find<Fortschritt>()->Abbrechen, Qt::LeftButton);
        // The cancel has enabled the main window: this close request, delivered by the same pump,
        // is granted and unloads it while the run has not returned yet.
        QCoreApplication::postEvent(&w, new QCloseEvent);
    });
    click(w);
    EXPECT_EQ(outputs(), numbered(2));
    EXPECT_EQ(ended(), 1);
    EXPECT_FALSE(forms().isLoaded<frmMain>());
    EXPECT_FALSE(forms().isLoaded<Fortschritt>());
    EXPECT_EQ(readIni()["Other/Filename"], "Foto"); // the close step ran
}

TEST_F(BatchRunCancel, TheCloseBoxOfTheProgressWindowCancels) {
    frmMain& w = tenFiles();
    atPump([&](int number) {
        if (number == 2)
            QCoreApplication::postEvent(forms().find<Fortschritt>(), new QCloseEvent);
    });
    click(w);
    EXPECT_EQ(outputs(), numbered(2));
    EXPECT_EQ(pumps.count(), 3);
    expectIdle(w);
}

TEST_F(BatchRunCancel, EscDoesNotCancel) {
    frmMain& w = tenFiles();
    atPump([&](int number) {
        if (number != 1)
            return;
        Fortschritt* window = forms().find<Fortschritt>();
        window->Abbrechen->setFocus();
        QTest::keyClick(window->Abbrechen, Qt::Key_Escape);
        QTest::keyClick(window, Qt::Key_Escape);
    });
    click(w);
    EXPECT_EQ(outputs(), numbered(10));
    expectIdle(w);
}

TEST_F(BatchRunCancel, TheMainWindowTakesNoInputAndRefusesToCloseDuringARun) {
    frmMain& w = tenFiles();
    int nested = 0;
    bool inside = false;
    atPump([&](int number) {
        if (inside) {
            ++nested; // a pump of a second run, started from within the first
            return;
        }
        inside = true;
        if (number == 2) {
            EXPECT_FALSE(w.isEnabled());
            EXPECT_FALSE(w.menuBar()->isEnabled());
            QTest::mouseClick(w.cmd_Save, Qt::LeftButton);
            QTest::keyClick(w.cmd_Save, Qt::Key_Space);
            QTest::keyClick(&w, Qt::Key_B, Qt::AltModifier);
            // The window system's close request, delivered by the run's own pump.
            QCoreApplication::postEvent(&w, new QCloseEvent);
        }
        inside = false;
    });
    click(w);
    EXPECT_EQ(nested, 0);
    EXPECT_EQ(outputs(), numbered(10));
    EXPECT_TRUE(forms().isLoaded<frmMain>());
    EXPECT_EQ(ended(), 0);
    EXPECT_TRUE(readIni().empty()); // the close step did not run
    expectIdle(w);
    // Afterwards the close box works again.
    w.close();
    EXPECT_EQ(ended(), 1);
}

enum class Way { SavedSettings, TypedPath, Chooser };
class ByteNamedFolder : public BatchRunTest, public ::testing::WithParamInterface<Way> {};

// A Windows-1252 folder and picture beside UTF-8 and ASCII: every way in converts all, keeps bytes.
TEST_P(ByteNamedFolder, ConvertsCompletelyAndIsSavedByteForByte) {
    const QString folder = at(platform::decodeName("Ferien_S\374dtirol"));
    ASSERT_EQ(::mkdir(platform::encodeName(folder).constData(), 0755), 0);
    const auto remove = qScopeGuard(
        [&] { std::filesystem::remove_all(platform::encodeName(folder).toStdString()); });
    const char* const names[] = {"a.bmp", "Gr\303\274\303\237e.bmp", "Urlaub_M\344rz.bmp"};
    for (int i = 0; i < 3; ++i)
        platform::replaceWholeFile(
            platform::encodeName(folder + u'/' + platform::decodeName(names[i])).toStdString(),
            testsupport::hostile::quarteredBmp(10 + 2 * i, 8).toStdString());
    // A base name saved in Windows-1252 shows readably and keeps its bytes.
    const QString base = GetParam() == Way::SavedSettings ? platform::decodeName("Bild\344")
                                                          : QStringLiteral("Foto");
    if (GetParam() == Way::SavedSettings)
        writeIni("[Other]\nPath=" + folder + "\nFilename=" + base + "\n");
    frmMain& w = GetParam() == Way::SavedSettings ? forms().show<frmMain>() : start();
    if (GetParam() == Way::TypedPath) { // the box held a folder below it; the user deletes that
        platform::setText(*w.Pfad, folder + "/Alt");
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        QTest::mouseClick(w.Pfad, Qt::LeftButton);
        w.Pfad->end(false);
        for (const Qt::Key key : {Qt::Key_Backspace, Qt::Key_Backspace, Qt::Key_Backspace,
                                  Qt::Key_Backspace, Qt::Key_Tab})
            QTest::keyClick(w.Pfad, key);
    } else if (GetParam() == Way::Chooser) {
        platform::Forms::setModalHandler([](QWidget& window) {
            auto& chooser = dynamic_cast<Pfadauswahl&>(window);
            EXPECT_EQ(chooser.Verzeichnis->item(chooser.Verzeichnis->count() - 1)->text(),
                      "Ferien_Südtirol");
            chooser.Verzeichnis->setPath(chooser.Verzeichnis->List(0));
            chooser.cmdOK->click();
        });
        w.PfadDialog->click();
    }
    EXPECT_TRUE(w.Pfad->text().endsWith("/Ferien_Südtirol"));
    EXPECT_EQ(w.Dateiname->text(), GetParam() == Way::SavedSettings ? "Bildä" : "Foto");
    click(w);
    for (int i = 0; i < 3; ++i) {
        const auto decoded = testsupport::decodeJpegFile(
            folder + u'/' + base + QStringLiteral("%1.jpg").arg(conversion::RunningNumber(i)));
        ASSERT_TRUE(decoded) << names[i];
        EXPECT_EQ(decoded->width, 10 + 2 * i) << "in the order the user reads the names";
    }
    w.close();
    EXPECT_EQ(readIni()["Other/Path"], folder);
    EXPECT_EQ(readIni()["Other/Filename"], base);
}

INSTANTIATE_TEST_SUITE_P(Ways, ByteNamedFolder,
                         ::testing::Values(Way::SavedSettings, Way::TypedPath, Way::Chooser));

TEST_F(BatchRunTest, ASourceThatVanishesBeforeItIsLoadedLeavesAGap) {
    bmp("a.bmp", kRed);
    bmp("b.bmp", kGreen);
    bmp("c.bmp", kBlue);
    frmMain& w = start();
    atPump([&](int number) {
        if (number == 1) {
            ASSERT_TRUE(QFile::remove(at("b.bmp")));
        }
    });
    click(w);
    EXPECT_EQ(files(), QStringList({"a.bmp", "c.bmp", "Foto000.jpg", "Foto002.jpg"}));
    expectColour("Foto000.jpg", kRed);
    expectColour("Foto002.jpg", kBlue);
    EXPECT_EQ(labels.last(), "3 von 3 Dateien.");
    EXPECT_EQ(boxes.count(), 0);
    expectIdle(w);
}

// Pictures slow enough to decode that the run often has to wait for one being decoded ahead: it
// takes that one rather than decoding it again.
TEST_F(BatchRunTest, EveryFileIsDecodedOnce) {
    QImage noise(1200, 900, QImage::Format_RGB32);
    for (int i = 0; i < 6; ++i) {
        for (int y = 0; y < noise.height(); ++y)
            for (int x = 0; x < noise.width(); ++x)
                noise.setPixel(x, y, qRgb(x * 7 + i, y * 13 + x, x ^ y));
        save(QStringLiteral("p%1.png").arg(i), noise, "PNG");
    }
    frmMain& w = start();
    const int before = platform::hooks::picturesDecoded();
    click(w);
    EXPECT_EQ(platform::hooks::picturesDecoded() - before, 6);
    EXPECT_EQ(labels.last(), "6 von 6 Dateien.");
}

// What happens to a source after it was read ahead, before its turn: replaced by a picture of the
// same size and modification time (only the change time tells), deleted, or never read ahead
// because it does not fit into the budget.
TEST_F(BatchRunTest, ASourceReadAheadIsConvertedAsItIsInItsTurn) {
    enum Change { Replaced, Deleted, TooLarge };
    for (const Change change : {Replaced, Deleted, TooLarge}) {
        SCOPED_TRACE(change);
        for (const QString& name : QDir(folderPath()).entryList(QDir::Files))
            QFile::remove(at(name));
        bmp("a.bmp", kRed);
        bmp("b.bmp", kGreen);
        bmp("c.bmp", kBlue);
        bmp("d.bmp", kYellow);
        platform::hooks::setReadAheadBudget(change == TooLarge ? std::optional<std::size_t>(64)
                                                               : std::nullopt);
        frmMain& w = start();
        const int first = pumps.count();
        atPump([&](int number) {
            if (number != first + 1)
                return;
            const bool decodedAhead = platform::hooks::waitForReadAhead(at("c.bmp"));
            EXPECT_EQ(decodedAhead, change != TooLarge && severalProcessors());
            struct stat before {};
            ASSERT_EQ(::stat(QFile::encodeName(at("c.bmp")).constData(), &before), 0);
            if (change == Deleted) {
                ASSERT_TRUE(QFile::remove(at("c.bmp")));
            }
            if (change == Replaced) {
                bmp("c.bmp", kMagenta);
                const timespec times[] = {before.st_atim, before.st_mtim};
                ASSERT_EQ(
                    ::utimensat(AT_FDCWD, QFile::encodeName(at("c.bmp")).constData(), times, 0), 0);
            }
        });
        labels.clear();
        click(w);
        EXPECT_EQ(files().contains("Foto002.jpg"), change != Deleted);
        expectColour("Foto001.jpg", kGreen);
        if (change != Deleted)
            expectColour("Foto002.jpg", change == Replaced ? kMagenta : kBlue);
        expectColour("Foto003.jpg", kYellow);
        EXPECT_EQ(labels.last(), "4 von 4 Dateien.");
        EXPECT_EQ(boxes.count(), 0);
        expectIdle(w);
    }
}

TEST_F(BatchRunTest, ASourceThatCannotBeReadLeavesAGapNotThePreviousPicture) {
    bmp("a.bmp", kRed);
    bmp("b.bmp", kGreen);
    bmp("c.bmp", kBlue);
    frmMain& w = start();
    atPump([&](int number) {
        if (number != 1)
            return;
        // A name that cannot be opened, for root too: a link that leads to itself.
        ASSERT_TRUE(QFile::remove(at("b.bmp")));
        ASSERT_TRUE(QFile::link(QStringLiteral("b.bmp"), at("b.bmp")));
    });
    click(w);
    EXPECT_EQ(files(), QStringList({"a.bmp", "b.bmp", "c.bmp", "Foto000.jpg", "Foto002.jpg"}));
    EXPECT_FALSE(w.Quelle->Picture() == nullptr); // the last file's picture
    expectColour("Foto002.jpg", kBlue);
    expectIdle(w);
}

TEST_F(BatchRunTest, APictureTooLargeForTheBufferLeavesAGapAndReachesNoWriter) {
    // Room for the loaded picture but not for a buffer of its size as well: a limit on the
    // address space, set in a child process of its own.
    testsupport::onTmpfs(QStringLiteral("size=8m"), [this](const QString& folder) {
        ASSERT_TRUE(solid(kRed).save(folder + QStringLiteral("/a.bmp"), "BMP"));
        ASSERT_TRUE(solid(kGreen, 6000, 6000).save(folder + QStringLiteral("/big.jpg"), "JPG"));
        ASSERT_TRUE(solid(kBlue).save(folder + QStringLiteral("/c.bmp"), "BMP"));
        frmMain& w = forms().show<frmMain>();
        w.Dateiliste->setPath(folder);
        platform::setText(*w.Pfad, folder);
        // Loaded in its turn, under the limit, rather than decoded ahead before it was set.
        platform::hooks::setReadAheadEnabled(false);
        // Set between the first file and the large one, when what the run itself needs is taken.
        bool bigLoaded = false;
        atPump([&](int number) {
            if (number == 1) {
                const std::int64_t picture = 6000LL * 6000 * 3;
                rlimit limit{};
                ASSERT_EQ(getrlimit(RLIMIT_AS, &limit), 0);
                limit.rlim_cur = static_cast<rlim_t>(addressSpaceBytes() + picture * 19 / 10);
                ASSERT_EQ(setrlimit(RLIMIT_AS, &limit), 0);
            }
            if (number == 2)
                bigLoaded = w.Quelle->Picture() != nullptr;
        });
        click(w);

        EXPECT_TRUE(bigLoaded); // so it was the buffer that could not be had
        EXPECT_EQ(boxes.count(), 0);
        const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        EXPECT_EQ(names, QStringList({"Foto000.jpg", "Foto002.jpg", "a.bmp", "big.jpg", "c.bmp"}));
        const auto last = testsupport::decodeJpegFile(folder + QStringLiteral("/Foto002.jpg"));
        ASSERT_TRUE(last);
        EXPECT_TRUE(testsupport::near(last->pixel(8, 8), kBlue, 40));
        EXPECT_EQ(labels.last(), "3 von 3 Dateien.");
        expectIdle(w);
    });
}

TEST_F(BatchRunTest, ARunOverTheOutputsOfAnEarlierOneConvertsEverySourceFromItsOwnContent) {
    bmp("a.bmp", kRed);
    bmp("b.bmp", kGreen);
    bmp("c.bmp", kBlue);
    // An earlier run's outputs, with pictures of their own.
    save("Foto000.jpg", solid(kYellow), "JPG");
    save("Foto001.jpg", solid(kCyan), "JPG");
    save("Foto002.jpg", solid(kMagenta), "JPG");
    frmMain& w = start();
    // What a kill would leave as each encode starts: the files of the outputs that wait, none
    // under the name being written.
    std::vector<qsizetype> hidden;
    ijl::hooks::setWriteObserver([&](const ijl::JPEG_CORE_PROPERTIES& props, ijl::IJLIOTYPE) {
        EXPECT_FALSE(QFileInfo::exists(QFile::decodeName(props.JPGFile))) << props.JPGFile;
        hidden.push_back(files().filter(QRegularExpression("^\\.")).size());
    });
    const auto unobserve = qScopeGuard([] { ijl::hooks::setWriteObserver({}); });
    click(w);
    EXPECT_EQ(hidden, std::vector<qsizetype>({0, 1, 2, 3, 2, 1}));

    EXPECT_EQ(files(), QStringList({"a.bmp", "b.bmp", "c.bmp", "Foto000.jpg", "Foto001.jpg",
                                    "Foto002.jpg", "Foto003.jpg", "Foto004.jpg", "Foto005.jpg"}));
    expectColour("Foto000.jpg", kRed);
    expectColour("Foto001.jpg", kGreen);
    expectColour("Foto002.jpg", kBlue);
    expectColour("Foto003.jpg", kYellow);
    expectColour("Foto004.jpg", kCyan);
    expectColour("Foto005.jpg", kMagenta);
    EXPECT_EQ(labels.last(), "6 von 6 Dateien.");
    expectIdle(w);
}

TEST_F(BatchRunTest, ACancelledRunOverEarlierOutputsLosesNoPicture) {
    bmp("a.bmp", kRed);
    save("Foto000.jpg", solid(kYellow), "JPG");
    save("Foto001.jpg", solid(kCyan), "JPG");
    frmMain& w = start();
    // Cancelled after the second file: its output and the first wait for sources never read.
    atPump([&](int number) {
        if (number == 2)
            QTest::mouseClick(forms().find<Fortschritt>()->Abbrechen, Qt::LeftButton);
    });
    click(w);
    EXPECT_EQ(files(), QStringList({"a.bmp", "Foto000.jpg", "Foto001.jpg"}));
    expectColour("Foto000.jpg", kYellow);
    expectColour("Foto001.jpg", kCyan);
    expectIdle(w);
}

TEST_F(BatchRunTest, ARunOverAThousandAndOneEarlierOutputsGivesEachNameThePictureOfItsPosition) {
    // Each one as wide as its number + 1. Foto1000.jpg sorts between Foto100 and Foto101, so from
    // there on each output's name is a later source's: the outputs wait on each other in a ring.
    for (int i = 0; i <= 1000; ++i)
        save(QStringLiteral("Foto%1.jpg").arg(conversion::RunningNumber(i)), solid(kRed, i + 1, 1),
             "JPG");
    const QStringList sources = files();
    frmMain& w = start(QStringLiteral("*.jpg"));
    click(w);
    EXPECT_EQ(files(), sources); // and no temporary file
    for (int i = 0; i <= 1000; ++i) {
        const QString output = QStringLiteral("Foto%1.jpg").arg(conversion::RunningNumber(i));
        ASSERT_EQ(QImageReader(at(output)).size().width(), sources[i].mid(4).chopped(4).toInt() + 1)
            << output.toStdString();
    }
    EXPECT_EQ(boxes.count(), 0);
    expectIdle(w);
}

TEST_F(BatchRunTest, AWriteProtectedOutputNameGetsOneMessageAndKeepsItsPicture) {
    testsupport::asOrdinaryUser([this] {
        bmp("a.bmp", kRed);
        bmp("b.bmp", kGreen);
        save("Foto000.jpg", solid(kYellow), "JPG");
        save("Foto001.jpg", solid(kCyan), "JPG");
        // Foto000.jpg is output 0's name and source 2: never written, nor renamed over later.
        ASSERT_TRUE(QFile::setPermissions(at("Foto000.jpg"), QFile::ReadOwner));
        frmMain& w = start();
        click(w);
        ASSERT_EQ(boxes.count(), 1);
        EXPECT_EQ(boxes.shown()[0].prompt, "Failed to save to JPG");
        EXPECT_EQ(files(), QStringList({"a.bmp", "b.bmp", "Foto000.jpg", "Foto001.jpg",
                                        "Foto002.jpg", "Foto003.jpg"}));
        expectColour("Foto000.jpg", kYellow);
        expectColour("Foto001.jpg", kGreen);
        expectColour("Foto002.jpg", kYellow);
        expectColour("Foto003.jpg", kCyan);
        expectIdle(w);
    });
}

TEST_F(BatchRunTest, AnOutputNameLeadingToALaterSourceWaitsForIt) {
    bmp("a.bmp", kRed);
    save("z.jpg", solid(kBlue), "JPG");
    // Foto000.jpg is another way to reach the later source z.jpg.
    ASSERT_TRUE(QFile::link(QStringLiteral("z.jpg"), at("Foto000.jpg")));
    frmMain& w = start();
    click(w);
    // Sources in list order: a.bmp, Foto000.jpg (the link), z.jpg.
    expectColour("z.jpg", kRed); // written through the link, after z.jpg was read
    expectColour("Foto001.jpg", kBlue);
    expectColour("Foto002.jpg", kBlue);
    EXPECT_TRUE(QFileInfo(at("Foto000.jpg")).isSymLink());
    EXPECT_EQ(files().filter(QRegularExpression(QStringLiteral("^\\."))), QStringList());
    expectIdle(w);
}

TEST_F(BatchRunTest, FoldersOfMoreThan32767FilesAreConvertedWhole) {
    // 32766 files that are no pictures, then three pictures at positions 32766 to 32768.
    for (int i = 0; i < 32766; ++i) {
        QFile file(at(QStringLiteral("a%1").arg(i, 5, 10, QLatin1Char('0'))));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    bmp("b0.bmp", kRed);
    bmp("b1.bmp", kGreen);
    bmp("b2.bmp", kBlue);
    frmMain& w = start();
    click(w);
    const QStringList outputs = files().filter(QStringLiteral("Foto"));
    EXPECT_EQ(outputs, QStringList({"Foto32766.jpg", "Foto32767.jpg", "Foto32768.jpg"}));
    expectColour("Foto32768.jpg", kBlue);
    EXPECT_EQ(labels.last(), "32769 von 32769 Dateien.");
    expectIdle(w);
}

TEST_F(BatchRunTest, AFolderThatCannotBeWrittenGivesOneMessagePerFileAndANormalEnd) {
    testsupport::onTmpfs(QStringLiteral("size=1m"), [this](const QString& folder) {
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(solid(kPalette[i]).save(folder + QStringLiteral("/p%1.bmp").arg(i), "BMP"));
        ASSERT_EQ(::mount("kalmora-test", QFile::encodeName(folder).constData(), "tmpfs",
                          MS_REMOUNT | MS_RDONLY, nullptr),
                  0);
        frmMain& w = forms().show<frmMain>();
        w.Dateiliste->setPath(folder);
        platform::setText(*w.Pfad, folder);
        int openDuringMessages = 0;
        boxes.onShow([&](const auto&) { openDuringMessages += forms().isLoaded<Fortschritt>(); });
        click(w);

        ASSERT_EQ(boxes.count(), 3);
        for (const auto& box : boxes.shown()) {
            EXPECT_EQ(box.prompt, "Failed to save to JPG");
            EXPECT_EQ(box.title, "Kalmora");
        }
        EXPECT_EQ(openDuringMessages, 3);
        EXPECT_EQ(labels.last(), "3 von 3 Dateien.");
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 3);
        expectIdle(w);
    });
}

} // namespace
