// The folder chooser: how it opens on the main window's folder, navigating in it, and what OK,
// cancel and the close box hand back.
#include "dialogs/pfadauswahl.h"
#include "mainwindow/frmmain.h"
#include "platform/controls/controls.h"
#include "platform/controls/dirlistbox.h"
#include "platform/controls/drivelistbox.h"
#include "platform/controls/filelistbox.h"
#include "platform/windows/interfacefont.h"
#include "platform/windows/systemcolours.h"
#include "support/fakemounts.h"
#include "support/messageboxes.h"
#include "support/programfolder.h"
#include "support/qtprinters.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

using platform::twipsToPixels;

void doubleClick(platform::DirListBox& list, int index) {
    const QPoint at =
        list.visualItemRect(list.item(index + list.count() - list.ListCount())).center();
    QTest::mousePress(list.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, at);
}

void click(platform::DirListBox& list, int index) {
    const QPoint at =
        list.visualItemRect(list.item(index + list.count() - list.ListCount())).center();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
}

class PfadauswahlTest : public testsupport::ProgramFolderTest {
protected:
    PfadauswahlTest() : mounts({{"/", "ext4"}, {drive.path(), "xfs"}}) {}

    frmMain& main() { return forms().get<frmMain>(); }
    // Starts the main window on a folder, as an accepted entry leaves it.
    frmMain& start(const QString& path) {
        frmMain& w = forms().show<frmMain>();
        w.Timer->stop(); // the tests decide when the list is read
        w.Dateiliste->setPath(path);
        platform::setText(*w.Pfad, path);
        return w;
    }
    QString mkdir(const QString& name) const {
        const QString path = drive.filePath(name);
        EXPECT_TRUE(QDir().mkpath(path));
        return path;
    }
    QString driveText() const { return drive.path() + " [xfs]"; }
    static QString working() { return QDir::cleanPath(QDir::currentPath()); }

    // Opens the chooser with "..."; `inDialog` acts in it while it is shown modally.
    void open(const std::function<void(Pfadauswahl&)>& inDialog) {
        bool shown = false;
        platform::Forms::setModalHandler([&](QWidget& window) {
            auto& dialog = dynamic_cast<Pfadauswahl&>(window);
            shown = dialog.isVisible() && dialog.isModal();
            inDialog(dialog);
        });
        main().PfadDialog->click();
        platform::Forms::setModalHandler({});
        EXPECT_TRUE(shown);
        EXPECT_EQ(boxes.count(), 0);
    }
    void expectMainFolder(const QString& path) {
        EXPECT_EQ(main().Pfad->text(), path);
        EXPECT_EQ(main().Dateiliste->Path(), path);
    }

    QTemporaryDir drive; // a drive of the mount table below
    testsupport::FakeMounts mounts;
    testsupport::MessageBoxes boxes;
};

TEST_F(PfadauswahlTest, OpensOnTheMainWindowsFolderTwoLevelsBelowTheDrive) {
    const QString zwei = mkdir("eins/zwei");
    mkdir("eins/zwei/drei");
    start(zwei);
    open([&](Pfadauswahl& d) {
        EXPECT_EQ(d.Laufwerk->Drive(), driveText());
        EXPECT_EQ(d.Laufwerk->currentText(), driveText());
        EXPECT_EQ(d.Verzeichnis->Path(), zwei);
        EXPECT_EQ(d.Verzeichnis->ListIndex(), -1);
        EXPECT_EQ(d.Verzeichnis->List(-1), zwei);
        EXPECT_EQ(d.Verzeichnis->List(-2), drive.filePath("eins"));
        EXPECT_EQ(d.Verzeichnis->List(-3), drive.path());
        EXPECT_EQ(d.Verzeichnis->count() - d.Verzeichnis->ListCount(), 3)
            << "the tree starts at the drive's mount point";
        ASSERT_EQ(d.Verzeichnis->ListCount(), 1);
        EXPECT_EQ(d.Verzeichnis->List(0), zwei + "/drei");
        d.cmdAbbrechen->click();
    });
}

TEST_F(PfadauswahlTest, OkHandsOverTheOpenedFolderNotTheHighlightedOne) {
    const QString eins = mkdir("eins");
    mkdir("eins/a/x");
    mkdir("eins/b");
    start(eins);
    open([&](Pfadauswahl& d) {
        doubleClick(*d.Verzeichnis, 0); // opens a
        EXPECT_EQ(d.Verzeichnis->Path(), eins + "/a");
        click(*d.Verzeichnis, 0); // highlights x
        EXPECT_EQ(d.Verzeichnis->ListIndex(), 0);
        EXPECT_EQ(d.Verzeichnis->Path(), eins + "/a");
        expectMainFolder(eins);
        QTest::mouseClick(d.cmdOK, Qt::LeftButton);
        EXPECT_FALSE(forms().isLoaded<Pfadauswahl>()) << "OK unloads";
        EXPECT_FALSE(d.isVisible());
    });
    expectMainFolder(eins + "/a");
}

TEST_F(PfadauswahlTest, OkWithoutNavigatingReadsTheMainWindowsFolderAgain) {
    const QString eins = mkdir("eins");
    start(eins);
    ASSERT_EQ(main().Dateiliste->ListCount(), 0);
    QFile(eins + "/neu.jpg").open(QIODevice::WriteOnly); // the timer is stopped: only OK reads it
    open([&](Pfadauswahl& d) { QTest::mouseClick(d.cmdOK, Qt::LeftButton); });
    expectMainFolder(eins);
    ASSERT_EQ(main().Dateiliste->ListCount(), 1);
    EXPECT_EQ(main().Dateiliste->List(0), "neu.jpg");
}

struct CloseCase {
    const char* name;
    std::function<void(Pfadauswahl&)> close;
};
void PrintTo(const CloseCase& c, std::ostream* out) {
    *out << c.name;
}

class CancelTest : public PfadauswahlTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CancelTest, UnloadsAndChangesNothingAfterNavigating) {
    const QString eins = mkdir("eins");
    mkdir("eins/a");
    start(eins);
    QFile(eins + "/neu.jpg").open(QIODevice::WriteOnly);
    QPointer<Pfadauswahl> shown;
    open([&](Pfadauswahl& d) {
        shown = &d;
        doubleClick(*d.Verzeichnis, 0);
        ASSERT_EQ(d.Verzeichnis->Path(), eins + "/a");
        d.Laufwerk->setCurrentIndex(d.Laufwerk->findText("/ [ext4]"));
        ASSERT_EQ(d.Verzeichnis->Path(), working());
        GetParam().close(d);
        EXPECT_FALSE(forms().isLoaded<Pfadauswahl>());
        EXPECT_TRUE(shown.isNull() || !shown->isVisible());
    });
    expectMainFolder(eins);
    EXPECT_EQ(main().Dateiliste->ListCount(), 0) << "the list was not read again";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(shown.isNull());
}

INSTANTIATE_TEST_SUITE_P(
    Ways, CancelTest,
    ::testing::Values(
        CloseCase{"Abbrechen",
                  [](Pfadauswahl& d) { QTest::mouseClick(d.cmdAbbrechen, Qt::LeftButton); }},
        CloseCase{"AccessKey",
                  [](Pfadauswahl& d) {
                      d.activateWindow();
                      ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
                      QTest::keyClick(&d, Qt::Key_A, Qt::AltModifier);
                      // The button shows itself pressed for a moment before it clicks; the
                      // wait also discards the unloaded dialog.
                      const QPointer<Pfadauswahl> alive(&d);
                      EXPECT_TRUE(QTest::qWaitFor([&] { return !alive || !alive->isVisible(); }));
                  }},
        CloseCase{"CloseBox", [](Pfadauswahl& d) { d.close(); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PfadauswahlTest, EscapeAndEnterDoNothing) {
    const QString eins = mkdir("eins");
    start(eins);
    open([&](Pfadauswahl& d) {
        for (QWidget* target : {static_cast<QWidget*>(&d), static_cast<QWidget*>(d.Laufwerk),
                                static_cast<QWidget*>(d.cmdOK)}) {
            QTest::keyClick(target, Qt::Key_Escape);
            QTest::keyClick(target, Qt::Key_Return);
        }
        EXPECT_TRUE(forms().isLoaded<Pfadauswahl>());
        EXPECT_TRUE(d.isVisible());
        d.cmdAbbrechen->click();
    });
    expectMainFolder(eins);
}

TEST_F(PfadauswahlTest, ChoosingADriveOpensItsCurrentFolder) {
    const QString eins = mkdir("eins");
    start(eins);
    open([&](Pfadauswahl& d) {
        d.Laufwerk->setCurrentIndex(d.Laufwerk->findText("/ [ext4]"));
        EXPECT_EQ(d.Laufwerk->Drive(), "/ [ext4]");
        EXPECT_EQ(d.Verzeichnis->Path(), working()) << "the working directory's drive";
        d.Laufwerk->setCurrentIndex(d.Laufwerk->findText(driveText()));
        EXPECT_EQ(d.Verzeichnis->Path(), drive.path()) << "its mount point, not the folder before";
        QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    });
    expectMainFolder(drive.path());
}

TEST_F(PfadauswahlTest, OpeningAnotherDrivesMountPointPutsTheDriveListOnIt) {
    // That drive's current folder, the working directory, is not the folder the user opens.
    const QString saved = QDir::currentPath();
    const auto restore = qScopeGuard([&] { QDir::setCurrent(saved); });
    ASSERT_TRUE(QDir::setCurrent(mkdir("eins")));
    start(folder()); // on "/"
    open([&](Pfadauswahl& d) {
        d.Verzeichnis->setPath(drive.path()); // as a double click on it in the tree of "/"
        EXPECT_EQ(d.Laufwerk->Drive(), driveText());
        EXPECT_EQ(d.Verzeichnis->Path(), drive.path());
        EXPECT_EQ(d.Verzeichnis->count() - d.Verzeichnis->ListCount(), 1) << "a tree of its own";
        QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    });
    expectMainFolder(drive.path());
}

TEST_F(PfadauswahlTest, ADriveThatCannotBeOpenedIsPutBackSilently) {
    QTemporaryDir stick;
    mounts.add(stick.path(), "vfat");
    const QString zwei = mkdir("eins/zwei");
    start(zwei);
    open([&](Pfadauswahl& d) {
        const int index = d.Laufwerk->findText(stick.path() + " [vfat]");
        ASSERT_GE(index, 0) << "listed while it was there";
        stick.remove(); // the medium is taken out
        d.Laufwerk->setCurrentIndex(index);
        EXPECT_EQ(d.Laufwerk->Drive(), driveText());
        EXPECT_EQ(d.Laufwerk->currentText(), driveText());
        EXPECT_EQ(d.Verzeichnis->Path(), drive.path()) << "the previous drive's current folder";
        d.cmdAbbrechen->click();
    });
    expectMainFolder(zwei);
}

struct FallbackCase {
    const char* name;
    std::function<QString(const QTemporaryDir& drive)> path;
    bool onDrive; // whether the path lies on the test's drive
};
void PrintTo(const FallbackCase& c, std::ostream* out) {
    *out << c.name;
}

class FallbackTest : public PfadauswahlTest, public ::testing::WithParamInterface<FallbackCase> {};

// The main window's text may name a folder that is gone or no drive at all: the chooser opens
// without a message, on the drive the path names and its current folder, or else where the
// lists open by default (the working directory and its drive).
TEST_P(FallbackTest, OpensWithoutAMessage) {
    start(drive.path());
    platform::setText(*main().Pfad, GetParam().path(drive));
    open([&](Pfadauswahl& d) {
        EXPECT_EQ(d.Laufwerk->Drive(), GetParam().onDrive ? driveText() : "/ [ext4]");
        EXPECT_EQ(d.Verzeichnis->Path(), GetParam().onDrive ? drive.path() : working());
        d.cmdAbbrechen->click();
    });
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FallbackTest,
    ::testing::Values(
        FallbackCase{"FolderGone", [](const QTemporaryDir& d) { return d.filePath("weg/da"); },
                     true},
        FallbackCase{"NetworkPath",
                     [](const QTemporaryDir&) { return QStringLiteral("\\\\server\\freigabe"); },
                     false},
        FallbackCase{"Empty", [](const QTemporaryDir&) { return QString(); }, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PfadauswahlTest, OkOnAFolderThatVanishedMeanwhileKeepsTheMainWindowsFolder) {
    const QString eins = mkdir("eins");
    const QString weg = mkdir("weg");
    start(eins);
    open([&](Pfadauswahl& d) {
        d.Verzeichnis->setPath(weg);
        ASSERT_TRUE(QDir(weg).removeRecursively());
        QTest::mouseClick(d.cmdOK, Qt::LeftButton);
        EXPECT_FALSE(forms().isLoaded<Pfadauswahl>());
    });
    expectMainFolder(eins);
}

TEST_F(PfadauswahlTest, EveryOpeningStartsAfreshFromTheMainWindow) {
    const QString eins = mkdir("eins");
    mkdir("eins/a");
    start(eins);
    open([&](Pfadauswahl& d) {
        doubleClick(*d.Verzeichnis, 0);
        d.cmdAbbrechen->click();
    });
    open([&](Pfadauswahl& d) {
        EXPECT_EQ(d.Verzeichnis->Path(), eins);
        d.cmdAbbrechen->click();
    });
}

TEST_F(PfadauswahlTest, TheRealModalLoopEndsWithOk) {
    const QString eins = mkdir("eins");
    mkdir("eins/a");
    start(eins);
    QMetaObject::invokeMethod(
        &forms(),
        [&] {
            Pfadauswahl* d = forms().find<Pfadauswahl>();
            ASSERT_NE(d, nullptr);
            ASSERT_TRUE(d->isVisible());
            doubleClick(*d->Verzeichnis, 0);
            d->cmdOK->click();
        },
        Qt::QueuedConnection);
    main().PfadDialog->click();
    expectMainFolder(eins + "/a");
    EXPECT_FALSE(forms().isLoaded<Pfadauswahl>());
}

TEST_F(PfadauswahlTest, TheCloseStepUnloadsTheChooser) {
    start(mkdir("eins"));
    forms().get<Pfadauswahl>();
    main().mnuBeenden->trigger();
    EXPECT_EQ(forms().loadedCount(), 0);
    EXPECT_EQ(ended(), 1);
}

class PfadauswahlLayoutTest : public PfadauswahlTest {
protected:
    void SetUp() override {
        savedFont_ = QApplication::font();
        platform::useInterfaceFont();
    }
    void TearDown() override { QApplication::setFont(savedFont_); }

private:
    QFont savedFont_;
};

QRect twips(int left, int top, int width, int height) {
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

TEST_F(PfadauswahlLayoutTest, AFixedToolWindowWithoutIcon) {
    start(mkdir("eins"));
    open([&](Pfadauswahl& d) {
        EXPECT_EQ(d.windowTitle(), "Pfad");
        EXPECT_EQ(d.windowType(), Qt::Tool) << "small title bar, not in the task bar";
        const Qt::WindowFlags flags = d.windowFlags();
        EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
        EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
        EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
        EXPECT_TRUE(d.windowIcon().isNull());
        EXPECT_EQ(d.minimumSize(), d.maximumSize()) << "not resizable";
        EXPECT_EQ(d.size(), QSize(twipsToPixels(3420), twipsToPixels(3240)));
        d.cmdAbbrechen->click();
    });
}

TEST_F(PfadauswahlLayoutTest, ControlsCaptionsAndTabOrder) {
    start(mkdir("eins"));
    open([&](Pfadauswahl& d) {
        EXPECT_EQ(d.cmdOK->geometry(), twips(945, 2730, 1065, 330));
        EXPECT_EQ(d.cmdAbbrechen->geometry(), twips(2205, 2730, 1065, 330));
        EXPECT_EQ(d.Verzeichnis->geometry(), twips(105, 420, 3165, 2115));
        EXPECT_EQ(d.Laufwerk->geometry(), twips(105, 105, 3165, 315));
        EXPECT_EQ(d.cmdOK->text(), "&Ok");
        EXPECT_EQ(d.cmdAbbrechen->text(), "&Abbrechen");
        EXPECT_FALSE(d.Laufwerk->isEditable()) << "a one-line drop-down";
        for (QPushButton* button : {d.cmdOK, d.cmdAbbrechen}) {
            EXPECT_FALSE(button->isDefault());
            EXPECT_FALSE(button->autoDefault());
            EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text().remove(u'&')) + 8,
                      button->width())
                << button->text().toStdString();
            EXPECT_LE(button->fontMetrics().height(), button->height() - 4);
        }
        // The children in creation order.
        const QList<QWidget*> created = d.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        ASSERT_GE(created.size(), 4);
        EXPECT_EQ(created[0], d.cmdOK);
        EXPECT_EQ(created[1], d.cmdAbbrechen);
        EXPECT_EQ(created[2], d.Verzeichnis);
        EXPECT_EQ(created[3], d.Laufwerk);

        // Tab index 0 has the focus at first; Tab walks the table's order round.
        EXPECT_EQ(d.focusWidget(), d.Laufwerk);
        std::vector<QWidget*> chain;
        QWidget* w = d.Laufwerk;
        do {
            if (w->focusPolicy() & Qt::TabFocus)
                chain.push_back(w);
            w = w->nextInFocusChain();
        } while (w != d.Laufwerk && chain.size() < 20);
        EXPECT_EQ(chain,
                  (std::vector<QWidget*>{d.Laufwerk, d.Verzeichnis, d.cmdOK, d.cmdAbbrechen}));
        d.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
        const QImage focused = d.Laufwerk->grab().toImage();
        d.cmdOK->setFocus();
        EXPECT_NE(d.Laufwerk->grab().toImage(), focused) << "no mark before a key is pressed";
        d.cmdAbbrechen->click();
    });
}

TEST_F(PfadauswahlLayoutTest, TheDirectoryListIsDrawnOnTheMenuColour) {
    start(mkdir("eins"));
    open([&](Pfadauswahl& d) {
        const QColor menu = platform::menuColour();
        EXPECT_EQ(d.Verzeichnis->palette().color(QPalette::Base), menu);
        // Below the few entries the list shows its background.
        const QImage shot = d.Verzeichnis->viewport()->grab().toImage();
        EXPECT_EQ(shot.pixelColor(shot.width() / 2, shot.height() - 5), menu);
        d.cmdAbbrechen->click();
    });
}

} // namespace
