// The main window's start-up steps and its close step, driven through the settings file.
#include "dialogs/dateien.h"
#include "mainwindow/frmmain.h"
#include "platform/controls/controls.h"
#include "platform/controls/filelistbox.h"
#include "platform/controls/hscrollbar.h"
#include "support/files.h"
#include "support/messageboxes.h"
#include "support/programfolder.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <array>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

using Ini = std::map<QString, QString>;

class StartupTest : public testsupport::ProgramFolderTest {
protected:
    frmMain& start() { return forms().show<frmMain>(); }
    Dateien& dialog() { return *forms().find<Dateien>(); }
    std::array<int, 4> flags() {
        const Dateien& d = dialog();
        return {platform::checkBoxValue(*d.chkJPG), platform::checkBoxValue(*d.chkGIF),
                platform::checkBoxValue(*d.chkBMP), platform::checkBoxValue(*d.chkALL)};
    }
    QString canonical(const QString& path) const { return QFileInfo(path).canonicalFilePath(); }
    // What the close step writes for an untouched first start.
    Ini defaults() const {
        return {{"Files/JPEG", "0"},        {"Files/GIF", "0"},      {"Files/BMP", "0"},
                {"Files/ALL", "1"},         {"Other/Quality", "20"}, {"Other/Path", folder()},
                {"Other/Filename", "Foto"}, {"Other/Extension", "0"}};
    }

    testsupport::MessageBoxes boxes;
};

TEST_F(StartupTest, FirstStartWithoutSettingsFileUsesTheDefaultsAndListsEveryFile) {
    touch("b.jpg");
    touch("a.TXT");
    touch("c.gif");
    touch("sub/d.jpg");
    frmMain& w = start();

    EXPECT_EQ(w.IniDatei, folder() + "/Kalmora.ini");
    EXPECT_EQ(w.Qualitaet->value(), 20);
    EXPECT_EQ(w.Label3->text(), "20%");
    EXPECT_EQ(w.Pfad->text(), w.Dateiliste->Path());
    EXPECT_EQ(canonical(w.Dateiliste->Path()), canonical(folder()));
    EXPECT_EQ(w.Dateiname->text(), "Foto");
    EXPECT_TRUE(w.ExtKl->isChecked());
    EXPECT_FALSE(w.ExtGr->isChecked());
    EXPECT_EQ(w.Dateiliste->Pattern(), "*.*");
    ASSERT_EQ(w.Dateiliste->ListCount(), 3);
    EXPECT_EQ(w.Dateiliste->List(0), "a.TXT");
    EXPECT_EQ(w.Dateiliste->List(2), "c.gif");
    EXPECT_FALSE(w.Abbr);
    EXPECT_TRUE(w.Timer->isActive());
    EXPECT_EQ(w.Timer->interval(), 100);

    // The flags live in the dialog, loaded but hidden.
    ASSERT_TRUE(forms().isLoaded<Dateien>());
    EXPECT_FALSE(dialog().isVisible());
    EXPECT_EQ(flags(), (std::array{0, 0, 0, 1}));
    EXPECT_EQ(boxes.count(), 0);

    w.close();
    EXPECT_EQ(ended(), 1);
    EXPECT_EQ(forms().loadedCount(), 0);
    Ini expected = defaults();
    expected["Other/Path"] = w.Pfad->text();
    EXPECT_EQ(readIni(), expected);
}

TEST_F(StartupTest, SavedSettingsAreRestored) {
    QDir(folder()).mkdir("pics");
    touch("pics/x.gif");
    touch("pics/y.jpg");
    touch("pics/z.png");
    writeIni("[Files]\nJPEG=0\nGIF=1\nBMP=0\nALL=0\n[Other]\nQuality=75\nPath=" + folder() +
             "/pics\nFilename=Urlaub\nExtension=1\n");
    frmMain& w = start();
    EXPECT_EQ(w.Qualitaet->value(), 75);
    EXPECT_EQ(w.Label3->text(), " 75%");
    EXPECT_EQ(canonical(w.Pfad->text()), canonical(folder() + "/pics"));
    EXPECT_EQ(w.Dateiname->text(), "Urlaub");
    EXPECT_EQ(w.Dateiname->cursorPosition(), 0) << "shown from its start";
    EXPECT_EQ(w.Pfad->cursorPosition(), 0);
    EXPECT_TRUE(w.ExtGr->isChecked());
    EXPECT_FALSE(w.ExtKl->isChecked());
    EXPECT_EQ(w.Dateiliste->Pattern(), "*.gif");
    ASSERT_EQ(w.Dateiliste->ListCount(), 1);
    EXPECT_EQ(w.Dateiliste->List(0), "x.gif");
}

TEST_F(StartupTest, SettingsKeysMatchWithoutRegardToCase) {
    writeIni("[files]\njpeg=1\nall=0\n[OTHER]\nquality=35\n");
    frmMain& w = start();
    EXPECT_EQ(w.Label3->text(), " 35%");
    EXPECT_EQ(w.Dateiliste->Pattern(), "*.jpg");
}

// 125 umlauts: 250 bytes, but far fewer than 254 characters.
TEST_F(StartupTest, ASavedFolderOfManyUmlautsComesBackWhole) {
    const QString saved = folder() + QStringLiteral("/abc/") + QString(125, QChar(0xFC));
    ASSERT_TRUE(QDir().mkpath(saved));
    platform::setText(*start().Pfad, saved);
    forms().get<frmMain>().close();
    EXPECT_EQ(start().Pfad->text(), saved);
}

struct MissingPath {
    const char* name;
    const char* below; // appended to the program folder
};

class MissingPathTest : public StartupTest, public ::testing::WithParamInterface<MissingPath> {};

TEST_P(MissingPathTest, FallsBackToTheProgramFolderSilently) {
    touch("file.jpg");
    writeIni(QStringLiteral("[Other]\nPath=") + folder() + GetParam().below + "\n");
    frmMain& w = start();
    EXPECT_EQ(canonical(w.Dateiliste->Path()), canonical(folder()));
    EXPECT_EQ(w.Pfad->text(), w.Dateiliste->Path());
    EXPECT_EQ(w.Dateiliste->ListCount(), 2); // file.jpg and Kalmora.ini under "*.*"
    EXPECT_EQ(boxes.count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Paths, MissingPathTest,
                         ::testing::Values(MissingPath{"Vanished", "/vanished"},
                                           MissingPath{"BelowAFile", "/file.jpg/sub"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct ExtensionCase {
    const char* name;
    const char* value; // nullptr: key missing
    bool upper;
};

class ExtensionTest : public StartupTest, public ::testing::WithParamInterface<ExtensionCase> {};

TEST_P(ExtensionTest, SelectsUpperCaseOnlyForOne) {
    if (GetParam().value)
        writeIni(QStringLiteral("[Other]\nExtension=") + GetParam().value + "\n");
    frmMain& w = start();
    EXPECT_EQ(w.ExtGr->isChecked(), GetParam().upper);
    EXPECT_EQ(w.ExtKl->isChecked(), !GetParam().upper);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ExtensionTest,
    ::testing::Values(ExtensionCase{"Missing", nullptr, false}, ExtensionCase{"Zero", "0", false},
                      ExtensionCase{"One", "1", true}, ExtensionCase{"Two", "2", false},
                      ExtensionCase{"Text", "abc", false}, ExtensionCase{"Empty", "", false},
                      ExtensionCase{"OneWithBlanks", " 1 ", true},
                      ExtensionCase{"OnePointZero", "1.0", true},
                      ExtensionCase{"OnePointFour", "1.4", true},
                      ExtensionCase{"MinusOne", "-1", false}),
    [](const auto& info) { return std::string(info.param.name); });

struct FlagsCase {
    const char* name;
    const char* files;        // the [Files] section's lines
    std::array<int, 4> boxes; // JPG, GIF, BMP, ALL after start-up
    const char* pattern;
};

class FlagsTest : public StartupTest, public ::testing::WithParamInterface<FlagsCase> {};

TEST_P(FlagsTest, StoreUsableValuesAndLeaveTheOthersToTheCreationPattern) {
    writeIni(QStringLiteral("[Files]\n") + GetParam().files);
    frmMain& w = start();
    EXPECT_EQ(flags(), GetParam().boxes);
    EXPECT_EQ(w.Dateiliste->Pattern(), GetParam().pattern);
}

// Unusable values keep what the dialog's load step derived from "*.jpg;*.bmp": JPEG ticked, the
// others not (bitmaps need ";*.dib" too).
INSTANTIATE_TEST_SUITE_P(
    Files, FlagsTest,
    ::testing::Values(
        FlagsCase{"AllDefault", "", {0, 0, 0, 1}, "*.*"},
        FlagsCase{"JpegTextAllZero", "JPEG=x\nALL=0\n", {1, 0, 0, 0}, "*.jpg"},
        FlagsCase{"AllUnusable", "JPEG=x\nGIF=x\nBMP=\nALL=?\n", {1, 0, 0, 0}, "*.jpg"},
        FlagsCase{"AllAndJpeg", "JPEG=1\nALL=1\n", {1, 0, 0, 1}, "*.*"},
        FlagsCase{
            "EveryType", "JPEG=1\nGIF=1\nBMP=1\nALL=0\n", {1, 1, 1, 0}, "*.jpg;*.gif;*.bmp;*.dib"},
        FlagsCase{"GreyedCountsAsUnticked", "JPEG=1\nBMP=2\nALL=0\n", {1, 0, 2, 0}, "*.jpg"},
        FlagsCase{"NotABoxState", "GIF=3\nBMP=-1\nALL=0\n", {0, 0, 0, 0}, ""},
        FlagsCase{"ConvertedLikeIntegers",
                  "GIF= 1 \nBMP=1.0\nALL=0.4\n",
                  {0, 1, 1, 0},
                  "*.gif;*.bmp;*.dib"},
        FlagsCase{"TrueIsNotAState", "JPEG=0\nALL=True\n", {0, 0, 0, 0}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StartupTest, AnEmptyPatternListsNothing) {
    touch("a.jpg");
    writeIni("[Files]\nALL=0\n");
    frmMain& w = start();
    EXPECT_EQ(w.Dateiliste->Pattern(), "");
    EXPECT_EQ(w.Dateiliste->ListCount(), 0);
}

TEST_F(StartupTest, TheTimerRefreshesTheList) {
    frmMain& w = start();
    ASSERT_EQ(w.Dateiliste->ListCount(), 0);
    touch("new.jpg");
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.Dateiliste->ListCount() == 1; }, 2000));
}

TEST_F(StartupTest, TheCloseStepWritesTheControlsAsTheyAre) {
    writeIni("[Other]\nExtension=0\n");
    frmMain& w = start();
    w.Qualitaet->setValue(90);
    w.Pfad->setText("/not/accepted/yet"); // the text is written, not the list's folder
    w.Dateiname->setText("");
    w.ExtGr->setChecked(true);
    w.close();
    Ini expected = defaults();
    expected["Other/Quality"] = "90";
    expected["Other/Path"] = "/not/accepted/yet";
    expected["Other/Filename"] = "";
    expected["Other/Extension"] = "1";
    EXPECT_EQ(readIni(), expected);
}

// Counts what happens to the settings file on disk (opened, read, written, replaced ...). A profile
// write of a value the file already holds may leave the file alone, so a pass of the close step
// shows as its accesses rather than as changes. The kernel merges only identical events that
// follow each other, which happens the same way in every pass.
class FileActivity {
public:
    explicit FileActivity(const QString& folder) : fd_(inotify_init1(IN_NONBLOCK)) {
        inotify_add_watch(fd_, QFile::encodeName(folder).constData(), IN_ALL_EVENTS);
    }
    ~FileActivity() { ::close(fd_); }
    int count() {
        alignas(inotify_event) char buffer[8192];
        for (ssize_t n; (n = ::read(fd_, buffer, sizeof buffer)) > 0;) {
            for (char* p = buffer; p < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(p);
                if (event->len > 0 && QByteArray(event->name) == "Kalmora.ini")
                    ++count_;
                p += sizeof(inotify_event) + event->len;
            }
        }
        return count_;
    }

private:
    int fd_;
    int count_ = 0;
};

TEST_F(StartupTest, BeendenRunsTheCloseStepTwiceWithEqualValues) {
    start().close(); // creates the settings file
    ASSERT_EQ(ended(), 1);
    int onePass = 0;
    {
        frmMain& w = start();
        FileActivity activity(folder());
        w.close();
        onePass = activity.count();
        ASSERT_GT(onePass, 0);
        ASSERT_EQ(ended(), 2);
    }
    const auto before = readIni();

    frmMain& w = start();
    FileActivity activity(folder());
    w.mnuBeenden->trigger();
    EXPECT_EQ(activity.count(), 2 * onePass);
    EXPECT_EQ(ended(), 3);
    EXPECT_EQ(readIni(), before);
}

TEST_F(StartupTest, BeendenWritesTheSettingsAndUnloadsEveryWindow) {
    frmMain& w = start();
    w.Qualitaet->setValue(55);
    forms().unload<Dateien>(); // the close step loads it again to read the flags
    w.mnuBeenden->trigger();
    EXPECT_EQ(ended(), 1);
    EXPECT_EQ(forms().loadedCount(), 0);
    EXPECT_FALSE(w.isVisible());
    Ini expected = defaults();
    expected["Other/Quality"] = "55";
    expected["Other/Path"] = w.Pfad->text();
    EXPECT_EQ(readIni(), expected);
    EXPECT_EQ(boxes.count(), 0) << "quitting asks nothing";
}

TEST_F(StartupTest, TheProgramEndsOnlyWhenTheLastWindowIsUnloaded) {
    frmMain& w = start();
    ASSERT_TRUE(forms().isLoaded<Dateien>());
    w.close();
    EXPECT_FALSE(forms().isLoaded<Dateien>());
    EXPECT_FALSE(forms().isLoaded<frmMain>());
    EXPECT_EQ(ended(), 1);
    EXPECT_FALSE(w.Timer->isActive());
}

// Installed: the settings in the user's folder, the pictures folder for every fallback (first
// start, a saved folder that is gone, a refused entry).
TEST_F(StartupTest, AnInstalledProgramKeepsToTheUsersFolders) {
    const QString settings = folder() + "/cfg/Kalmora", pictures = folder() + "/Bilder";
    ASSERT_TRUE(QDir().mkpath(pictures));
    for (const QString& saved : {QString(), folder() + "/vanished"}) {
        if (!saved.isEmpty())
            testsupport::writeFile(settings + "/Kalmora.ini", "[Other]\nPath=" + saved.toUtf8());
        platform::Forms installed({settings, pictures, true});
        installed.setLastWindowUnloaded([] {});
        frmMain& w = installed.show<frmMain>();
        EXPECT_EQ(w.Dateiliste->Path(), pictures);
        platform::setText(*w.Pfad, folder() + "/missing");
        EXPECT_TRUE(w.Pfad_LostFocus() && w.Pfad->text() == pictures);
        w.close();
        EXPECT_EQ(testsupport::readIniFile(settings + "/Kalmora.ini")["Other/Path"], pictures);
    }
}

} // namespace
