#include "dialogs/frmabout.h"
#include "platform/controls/controls.h"
#include "platform/controls/line.h"
#include "platform/errors/runtimeerror.h"
#include "platform/registry/registry.h"
#include "support/messageboxes.h"
#include "support/processstarts.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>

using namespace platform;

namespace {

const QString kProgramKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString kFolderKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
const QString kMessage = QStringLiteral("Systeminformationen sind momentan nicht verfügbar");

QByteArray withZero(const QString& text) {
    return text.toLocal8Bit() + '\0';
}

void makeFile(const QString& path, bool executable = true) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.close();
    auto permissions = QFile::ReadOwner | QFile::WriteOwner;
    if (executable)
        permissions |= QFile::ExeOwner;
    ASSERT_TRUE(file.setPermissions(permissions));
}

class AboutTest : public ::testing::Test {
protected:
    void SetUp() override {
        registry::clear();
        forms.setLastWindowUnloaded([] {});
    }
    void TearDown() override {
        Forms::setModalHandler({});
        EXPECT_EQ(registry::openHandleCount(), 0) << "a key handle was left open";
        registry::reset();
    }

    frmAbout& about() { return forms.get<frmAbout>(); }

    Forms forms{QStringLiteral("/nowhere")};
    testsupport::MessageBoxes boxes;
    testsupport::ProcessStarts starts;
    QTemporaryDir dir;
};

// ---------------------------------------------------------------- what the dialog shows

TEST_F(AboutTest, LoadStepSetsCaptionTitleAndVersion) {
    frmAbout& dialog = about();
    EXPECT_EQ(dialog.windowTitle(), "Info zu Kalmora");
    EXPECT_EQ(dialog.lblTitle->text(), "Kalmora");
    EXPECT_EQ(dialog.lblVersion->text(), "Version 2.0.16");
    EXPECT_FALSE(dialog.windowTitle().contains(QRegularExpression("[0-9]")));
    EXPECT_EQ(dialog.lblDescription->text(),
              "Programm, um Bilder beliebigem Dateityps mit einem wählbaren Komprimierungsfaktor "
              "ins JPEG-Format zu konvertieren. Dabei konvertiert es alle Bilder in einem "
              "Verzeichnis automatisch und ändert die Dateien gleichzeitig nach einem beliebigem "
              "Format mit einer fortlaufenden Nummer um (zum Beispiel für Websites usw.).");
    EXPECT_EQ(dialog.cmdOK->text(), "OK");
    EXPECT_EQ(dialog.cmdSysInfo->text(), "&Systeminfo...");
    for (const QLabel* label : {dialog.Label1, dialog.Label2, dialog.Label3, dialog.lblDisclaimer})
        EXPECT_FALSE(label->text().trimmed().isEmpty()) << label->objectName().toStdString();
}

TEST_F(AboutTest, IsAFixedDialogAtItsStoredPlace) {
    frmAbout& dialog = about();
    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Dialog);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowContextHelpButtonHint));
    EXPECT_EQ(dialog.minimumSize(), QSize(389, 330));
    EXPECT_EQ(dialog.maximumSize(), QSize(389, 330));
    const QPoint origin = QGuiApplication::primaryScreen()->geometry().topLeft();
    EXPECT_EQ(dialog.geometry(), QRect(origin + QPoint(156, 129), QSize(389, 330)));
}

struct Placement {
    const char* name;
    int left, top, width, height;
};

void PrintTo(const Placement& c, std::ostream* os) {
    *os << c.name;
}

class AboutPlacementTest : public AboutTest, public ::testing::WithParamInterface<Placement> {};

TEST_P(AboutPlacementTest, ControlSitsWhereTheLayoutPutsIt) {
    const Placement& p = GetParam();
    const auto* control = about().findChild<QWidget*>(QString::fromLatin1(p.name));
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->geometry(), QRect(twipsToPixels(p.left), twipsToPixels(p.top),
                                         twipsToPixels(p.width), twipsToPixels(p.height)));
}

INSTANTIATE_TEST_SUITE_P(Layout, AboutPlacementTest,
                         ::testing::Values(Placement{"picIcon", 105, 210, 780, 780},
                                           Placement{"cmdOK", 4350, 3870, 1260, 345},
                                           Placement{"cmdSysInfo", 4350, 4440, 1245, 345},
                                           Placement{"lblDescription", 1080, 1365, 4665, 1770},
                                           Placement{"Label1", 1050, 945, 4620, 345},
                                           Placement{"Label3", 1050, 3360, 4620, 315},
                                           Placement{"Label2", 1050, 3120, 4620, 345},
                                           Placement{"lblTitle", 1080, 240, 4620, 255},
                                           Placement{"lblVersion", 1050, 525, 4620, 390},
                                           Placement{"lblDisclaimer", 360, 3870, 3870, 945}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AboutTest, PictureIsA48PixelPictureFillingItsBox) {
    const QLabel& picture = *about().picIcon;
    const QPixmap pixmap = picture.pixmap();
    ASSERT_FALSE(pixmap.isNull()) << "the picture resource is missing";
    EXPECT_EQ(pixmap.size(), QSize(48, 48));
    EXPECT_EQ(picture.contentsRect().size(), QSize(48, 48));
}

TEST_F(AboutTest, SeparatorIsAGreyLineAboveAWideWhiteOne) {
    frmAbout& dialog = about();
    ASSERT_EQ(dialog.findChildren<Line*>(QStringLiteral("Line1")).size(), 2);
    const QImage image = dialog.grab().toImage();
    const QColor grey(128, 128, 128), white(255, 255, 255);
    for (int x : {13, 200, 383})
        EXPECT_EQ(image.pixelColor(x, 246), grey) << x;
    for (int x : {14, 200, 383}) {
        EXPECT_EQ(image.pixelColor(x, 247), white) << x;
        EXPECT_EQ(image.pixelColor(x, 248), white) << x;
    }
    EXPECT_NE(image.pixelColor(384, 246), grey);
    EXPECT_NE(image.pixelColor(384, 247), white);
    EXPECT_NE(image.pixelColor(200, 249), white);
    EXPECT_NE(image.pixelColor(200, 245), grey);
}

int bluePixels(QWidget& widget) {
    const QImage image = widget.grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += c.blue() > 150 && c.red() < 100 && c.green() < 100;
        }
    return count;
}

TEST_F(AboutTest, ContactAddressIsWrittenInBlue) {
    EXPECT_GT(bluePixels(*about().Label3), 20);
    EXPECT_EQ(bluePixels(*about().Label2), 0);
}

// ---------------------------------------------------------------- keys and closing

struct CloseWay {
    const char* name;
    std::function<void(frmAbout&)> act;
};

void PrintTo(const CloseWay& c, std::ostream* os) {
    *os << c.name;
}

void pressKey(frmAbout& dialog, Qt::Key key) {
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &dialog;
    QTest::keyClick(target, key);
}

class AboutCloseTest : public AboutTest, public ::testing::WithParamInterface<CloseWay> {};

TEST_P(AboutCloseTest, EveryWayOfClosingUnloadsTheDialog) {
    QPointer<frmAbout> shown;
    Forms::setModalHandler([&](QWidget& window) {
        shown = dynamic_cast<frmAbout*>(&window);
        ASSERT_TRUE(shown);
        shown->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(shown));
        GetParam().act(*shown);
    });
    forms.showModal<frmAbout>();
    EXPECT_FALSE(forms.isLoaded<frmAbout>());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(shown.isNull()) << "the unloaded dialog is discarded";
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_EQ(starts.count(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, AboutCloseTest,
    ::testing::Values(CloseWay{"Enter", [](frmAbout& d) { pressKey(d, Qt::Key_Return); }},
                      CloseWay{"KeypadEnter", [](frmAbout& d) { pressKey(d, Qt::Key_Enter); }},
                      CloseWay{"Esc", [](frmAbout& d) { pressKey(d, Qt::Key_Escape); }},
                      CloseWay{"EscOnSysInfo",
                               [](frmAbout& d) {
                                   d.cmdSysInfo->setFocus();
                                   pressKey(d, Qt::Key_Escape);
                               }},
                      CloseWay{"OkButton",
                               [](frmAbout& d) { QTest::mouseClick(d.cmdOK, Qt::LeftButton); }},
                      CloseWay{"CloseBox", [](frmAbout& d) { d.close(); }}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- starting system information

struct SysInfoCase {
    const char* name;
    // Fills the registry and the disk below the temporary folder.
    std::function<void(const QString& dir)> arrange;
    // The program started, relative to the temporary folder; empty: the message instead.
    QString started;
    bool startFails = false;
};

void PrintTo(const SysInfoCase& c, std::ostream* os) {
    *os << c.name;
}

void setFolderEntry(const QString& folder) {
    registry::setValue(HKEY_LOCAL_MACHINE, kFolderKey, QStringLiteral("MSINFO"), REG_SZ,
                       withZero(folder));
}

void setProgramEntry(DWORD type, const QByteArray& data) {
    registry::setValue(HKEY_LOCAL_MACHINE, kProgramKey, QStringLiteral("PATH"), type, data);
}

// A folder entry that would work, to show when the second lookup is not made.
void workingFolderEntry(const QString& dir) {
    makeFile(dir + "/win/MSINFO32.EXE");
    setFolderEntry(dir + "/win");
}

class AboutSysInfoTest : public AboutTest, public ::testing::WithParamInterface<SysInfoCase> {};

TEST_P(AboutSysInfoTest, StartsTheProgramOrShowsTheMessageOnce) {
    const SysInfoCase& c = GetParam();
    c.arrange(dir.path());
    if (c.startFails)
        starts.failWith(ErrPathFileAccess);
    frmAbout& dialog = about();
    dialog.show();

    QTest::mouseClick(dialog.cmdSysInfo, Qt::LeftButton);

    if (c.started.isEmpty()) {
        EXPECT_EQ(starts.count(), 0);
        ASSERT_EQ(boxes.count(), 1);
        const MessageBoxRequest& box = boxes.shown()[0];
        EXPECT_EQ(box.prompt, kMessage);
        EXPECT_EQ(box.style, vbOKOnly) << "OK only, no icon";
        EXPECT_EQ(box.title, "Kalmora");
    } else {
        EXPECT_EQ(boxes.count(), 0);
        ASSERT_EQ(starts.count(), 1);
        EXPECT_EQ(starts.started()[0], dir.path() + "/" + c.started);
    }
    EXPECT_TRUE(forms.isLoaded<frmAbout>());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(registry::openHandleCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Registry, AboutSysInfoTest,
    ::testing::Values(SysInfoCase{"NothingRegistered", [](const QString&) {}, {}},
                      SysInfoCase{"FolderHoldingTheProgram", workingFolderEntry,
                                  "win/MSINFO32.EXE"},
                      SysInfoCase{"FolderStoredWithoutZero",
                                  [](const QString& dir) {
                                      makeFile(dir + "/win/MSINFO32.EXE");
                                      registry::setValue(HKEY_LOCAL_MACHINE, kFolderKey,
                                                         QStringLiteral("msinfo"), REG_SZ,
                                                         (dir + "/win").toLocal8Bit());
                                  },
                                  "win/MSINFO32.EXE"},
                      SysInfoCase{"FolderWithoutTheProgram",
                                  [](const QString& dir) {
                                      makeFile(dir + "/win/msinfo32.exe");
                                      setFolderEntry(dir + "/win");
                                  },
                                  {}},
                      SysInfoCase{"FolderThatIsMissing",
                                  [](const QString& dir) { setFolderEntry(dir + "/missing"); },
                                  {}},
                      SysInfoCase{"ProgramEntry",
                                  [](const QString& dir) {
                                      workingFolderEntry(dir);
                                      makeFile(dir + "/bin/hardinfo");
                                      setProgramEntry(REG_SZ, withZero(dir + "/bin/hardinfo"));
                                  },
                                  "bin/hardinfo"},
                      SysInfoCase{"ProgramEntryOfAnotherType",
                                  [](const QString& dir) {
                                      workingFolderEntry(dir);
                                      makeFile(dir + "/bin/hardinfo");
                                      setProgramEntry(REG_BINARY, withZero(dir + "/bin/hardinfo"));
                                  },
                                  {}},
                      SysInfoCase{"ProgramEntryOfNoBytes",
                                  [](const QString& dir) {
                                      workingFolderEntry(dir);
                                      setProgramEntry(REG_SZ, QByteArray());
                                  },
                                  {}},
                      SysInfoCase{"ProgramEntryLongerThanTheBuffer",
                                  [](const QString& dir) {
                                      workingFolderEntry(dir);
                                      setProgramEntry(REG_SZ, QByteArray(1100, 'x'));
                                  },
                                  "win/MSINFO32.EXE"},
                      SysInfoCase{"ProgramKeyWithoutFullAccess",
                                  [](const QString& dir) {
                                      workingFolderEntry(dir);
                                      makeFile(dir + "/bin/hardinfo");
                                      setProgramEntry(REG_SZ, withZero(dir + "/bin/hardinfo"));
                                      registry::setReadOnly(HKEY_LOCAL_MACHINE, kProgramKey);
                                  },
                                  "win/MSINFO32.EXE"},
                      SysInfoCase{"ProgramEntryNamingAMissingFile",
                                  [](const QString& dir) {
                                      setProgramEntry(REG_SZ, withZero(dir + "/bin/hardinfo"));
                                  },
                                  {}},
                      SysInfoCase{"ProgramEntryNamingAFileThatIsNoProgram",
                                  [](const QString& dir) {
                                      makeFile(dir + "/bin/readme", false);
                                      setProgramEntry(REG_SZ, withZero(dir + "/bin/readme"));
                                  },
                                  {}},
                      SysInfoCase{"ProgramThatFailsToStart",
                                  [](const QString& dir) {
                                      makeFile(dir + "/bin/hardinfo");
                                      setProgramEntry(REG_SZ, withZero(dir + "/bin/hardinfo"));
                                  },
                                  {},
                                  true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AboutTest, TheMessageComesAgainOnEveryClick) {
    frmAbout& dialog = about();
    dialog.show();
    QTest::mouseClick(dialog.cmdSysInfo, Qt::LeftButton);
    QTest::mouseClick(dialog.cmdSysInfo, Qt::LeftButton);
    EXPECT_EQ(boxes.count(), 2);
    EXPECT_TRUE(dialog.isVisible());
}

// ---------------------------------------------------------------- reading one registry value

struct ValueCase {
    const char* name;
    DWORD type;
    QByteArray data;
    bool read;
    QString expected; // KeyVal afterwards; it comes in as "vorher"
};

void PrintTo(const ValueCase& c, std::ostream* os) {
    *os << c.name;
}

class GetKeyValueTest : public AboutTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(GetKeyValueTest, ReadsTheValueByItsType) {
    const ValueCase& c = GetParam();
    registry::setValue(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Kalmora"),
                       QStringLiteral("Wert"), c.type, c.data);
    QString KeyVal = QStringLiteral("vorher");
    EXPECT_EQ(about().GetKeyValue(HKEY_LOCAL_MACHINE, QStringLiteral("software\\kalmora"),
                                  QStringLiteral("WERT"), KeyVal),
              c.read);
    EXPECT_EQ(KeyVal, c.expected);
    EXPECT_EQ(registry::openHandleCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Types, GetKeyValueTest,
    ::testing::Values(
        ValueCase{"StringWithZero", REG_SZ, QByteArray("/opt/si/run\0", 12), true, "/opt/si/run"},
        ValueCase{"StringWithoutZero", REG_SZ, "/opt/si/run", true, "/opt/si/run"},
        ValueCase{"StringWithUmlaut", REG_SZ, withZero(QStringLiteral("/home/jürgen")), true,
                  QStringLiteral("/home/jürgen")},
        ValueCase{"StringOfOneZero", REG_SZ, QByteArray(1, '\0'), true, ""},
        ValueCase{"StringFillingTheBuffer", REG_SZ, QByteArray(1024, 'a'), true,
                  QString(1024, 'a')},
        ValueCase{"StringLongerThanTheBuffer", REG_SZ, QByteArray(1025, 'a'), false, ""},
        ValueCase{"Number", REG_DWORD, QByteArray("\x02\x01\x00\x00", 4), true, "&h102"},
        ValueCase{"LargeNumber", REG_DWORD, QByteArray("\xEF\xBE\xAD\xDE", 4), true, "&hDEADBEEF"},
        ValueCase{"Zero", REG_DWORD, QByteArray(4, '\0'), true, "&h0"},
        ValueCase{"OtherType", REG_BINARY, "abc", true, "vorher"},
        ValueCase{"ExpandableString", REG_EXPAND_SZ, withZero("%PATH%"), true, "vorher"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AboutTest, MissingKeyOrValueEmptiesKeyVal) {
    registry::createKey(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Kalmora"));
    QString KeyVal = QStringLiteral("vorher");
    EXPECT_FALSE(about().GetKeyValue(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Nothing"),
                                     QStringLiteral("Wert"), KeyVal));
    EXPECT_EQ(KeyVal, "");
    KeyVal = QStringLiteral("vorher");
    EXPECT_FALSE(about().GetKeyValue(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Kalmora"),
                                     QStringLiteral("Wert"), KeyVal));
    EXPECT_EQ(KeyVal, "");
}

TEST_F(AboutTest, ValueOfNoBytesFailsWithAnErrorAndClosesTheKey) {
    registry::setValue(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Kalmora"),
                       QStringLiteral("Wert"), REG_SZ, QByteArray());
    QString KeyVal;
    EXPECT_THROW(about().GetKeyValue(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Kalmora"),
                                     QStringLiteral("Wert"), KeyVal),
                 RuntimeError);
    EXPECT_EQ(registry::openHandleCount(), 0);
}

} // namespace
