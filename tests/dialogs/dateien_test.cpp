// The dialog of allowed file types: its load and OK steps, its lifecycle, and the flags the main
// window keeps in it between start-up and exit.
#include "dialogs/dateien.h"
#include "mainwindow/frmmain.h"
#include "platform/controls/controls.h"
#include "platform/controls/filelistbox.h"
#include "support/messageboxes.h"
#include "support/programfolder.h"

#include <QCheckBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <array>
#include <functional>
#include <gtest/gtest.h>

namespace {

using Boxes = std::array<int, 4>; // JPG, GIF, BMP, ALL

class DateienTest : public testsupport::ProgramFolderTest {
protected:
    frmMain& start(const QString& files = {}) {
        if (!files.isEmpty())
            writeIni("[Files]\n" + files);
        frmMain& w = forms().show<frmMain>();
        w.Timer->stop(); // the tests decide when the list is refreshed
        return w;
    }
    frmMain& main() { return forms().get<frmMain>(); }

    // Opens the dialog from the menu; `inDialog` acts in it while it is shown modally.
    void open(const std::function<void(Dateien&)>& inDialog) {
        bool shown = false;
        platform::Forms::setModalHandler([&](QWidget& window) {
            auto& dialog = dynamic_cast<Dateien&>(window);
            shown = dialog.isVisible() && dialog.isModal();
            inDialog(dialog);
        });
        main().mnuDateien->trigger();
        platform::Forms::setModalHandler({});
        EXPECT_TRUE(shown);
    }
    // Opens the dialog and returns the boxes it shows, then cancels.
    Boxes shownBoxes() {
        Boxes boxes{};
        open([&](Dateien& d) {
            boxes = states(d);
            QTest::mouseClick(d.cmdAbbrechen, Qt::LeftButton);
        });
        return boxes;
    }
    static Boxes states(const Dateien& d) {
        return {platform::checkBoxValue(*d.chkJPG), platform::checkBoxValue(*d.chkGIF),
                platform::checkBoxValue(*d.chkBMP), platform::checkBoxValue(*d.chkALL)};
    }
    static void set(Dateien& d, const Boxes& boxes) {
        platform::setCheckBoxValue(*d.chkJPG, boxes[0]);
        platform::setCheckBoxValue(*d.chkGIF, boxes[1]);
        platform::setCheckBoxValue(*d.chkBMP, boxes[2]);
        platform::setCheckBoxValue(*d.chkALL, boxes[3]);
    }
    // A user's click on the box itself.
    static void click(QCheckBox& box) {
        QStyleOptionButton option;
        option.initFrom(&box);
        const QRect indicator =
            box.style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, &box);
        QTest::mouseClick(&box, Qt::LeftButton, {}, indicator.center());
    }
    // The flags the next exit writes.
    Boxes writtenAtExit() {
        main().close();
        const auto ini = readIni();
        return {ini.at("Files/JPEG").toInt(), ini.at("Files/GIF").toInt(),
                ini.at("Files/BMP").toInt(), ini.at("Files/ALL").toInt()};
    }

    testsupport::MessageBoxes messages;
};

TEST_F(DateienTest, FirstOpeningShowsTheFlagsOfTheSettingsFileThenThoseOfThePattern) {
    start("JPEG=1\nALL=1\n");
    EXPECT_EQ(main().Dateiliste->Pattern(), "*.*");
    open([&](Dateien& d) {
        EXPECT_EQ(states(d), (Boxes{1, 0, 0, 1}));
        QTest::mouseClick(d.cmdOK, Qt::LeftButton);
        EXPECT_FALSE(forms().isLoaded<Dateien>()) << "OK unloads";
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(main().Dateiliste->Pattern(), "*.*");
    EXPECT_EQ(shownBoxes(), (Boxes{0, 0, 0, 1}));
}

TEST_F(DateienTest, TheFlagsOfTheSettingsFileAreWrittenBackWhileTheDialogStaysLoaded) {
    start("JPEG=1\nGIF=0\nBMP=2\nALL=1\n");
    EXPECT_EQ(writtenAtExit(), (Boxes{1, 0, 2, 1}));
}

TEST_F(DateienTest, AfterCancelTheExitWritesTheFlagsOfThePattern) {
    start("JPEG=1\nALL=1\n");
    open([&](Dateien& d) {
        click(*d.chkGIF);
        QTest::mouseClick(d.cmdAbbrechen, Qt::LeftButton);
    });
    EXPECT_FALSE(forms().isLoaded<Dateien>());
    EXPECT_EQ(main().Dateiliste->Pattern(), "*.*");
    EXPECT_EQ(writtenAtExit(), (Boxes{0, 0, 0, 1}));
}

TEST_F(DateienTest, TheCloseBoxUnloadsLikeCancel) {
    start("JPEG=1\nALL=0\n");
    open([&](Dateien& d) {
        click(*d.chkALL);
        d.close();
    });
    EXPECT_FALSE(forms().isLoaded<Dateien>());
    EXPECT_EQ(main().Dateiliste->Pattern(), "*.jpg");
    EXPECT_EQ(shownBoxes(), (Boxes{1, 0, 0, 0}));
}

TEST_F(DateienTest, EscapeDoesNothing) {
    start();
    open([&](Dateien& d) {
        QTest::keyClick(&d, Qt::Key_Escape);
        QTest::keyClick(d.chkJPG, Qt::Key_Escape);
        EXPECT_TRUE(forms().isLoaded<Dateien>());
        EXPECT_TRUE(d.isVisible());
        QTest::mouseClick(d.cmdAbbrechen, Qt::LeftButton);
    });
}

TEST_F(DateienTest, OkWithNothingTickedListsNothingAndTheExitSavesNothingTicked) {
    touch("a.jpg");
    start();
    ASSERT_EQ(main().Dateiliste->ListCount(), 1);
    open([&](Dateien& d) {
        click(*d.chkALL); // the only ticked box
        EXPECT_EQ(states(d), (Boxes{0, 0, 0, 0}));
        QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    });
    EXPECT_EQ(main().Dateiliste->Pattern(), "");
    EXPECT_EQ(main().Dateiliste->ListCount(), 0);
    EXPECT_EQ(writtenAtExit(), (Boxes{0, 0, 0, 0}));
}

TEST_F(DateienTest, OkRefreshesTheList) {
    start();
    ASSERT_EQ(main().Dateiliste->ListCount(), 0);
    touch("new.gif"); // the timer is stopped: only OK can bring it in
    open([&](Dateien& d) { QTest::mouseClick(d.cmdOK, Qt::LeftButton); });
    EXPECT_EQ(main().Dateiliste->ListCount(), 1);
}

TEST_F(DateienTest, CancelNeitherChangesThePatternNorRefreshesTheList) {
    start();
    touch("new.gif");
    open([&](Dateien& d) {
        click(*d.chkALL);
        click(*d.chkBMP);
        QTest::mouseClick(d.cmdAbbrechen, Qt::LeftButton);
    });
    EXPECT_EQ(main().Dateiliste->Pattern(), "*.*");
    EXPECT_EQ(main().Dateiliste->ListCount(), 0);
}

struct LoadCase {
    const char* name;
    const char* pattern;
    Boxes boxes;
};

class LoadStepTest : public DateienTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadStepTest, DerivesTheBoxesFromThePattern) {
    start();
    forms().unload<Dateien>();
    main().Dateiliste->setPattern(QString::fromUtf8(GetParam().pattern));
    EXPECT_EQ(states(forms().get<Dateien>()), GetParam().boxes);
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, LoadStepTest,
    ::testing::Values(LoadCase{"All", "*.*", {0, 0, 0, 1}},
                      LoadCase{"EveryType", "*.jpg;*.gif;*.bmp;*.dib", {1, 1, 1, 0}},
                      LoadCase{"CreationPattern", "*.jpg;*.bmp", {1, 0, 0, 0}},
                      LoadCase{"CapitalLetters", "*.JPG;*.GIF;*.BMP;*.DIB", {0, 0, 0, 0}},
                      LoadCase{"Empty", "", {0, 0, 0, 0}},
                      LoadCase{"OrderDoesNotMatter", "*.bmp;*.dib;*.gif;*.jpg", {1, 1, 1, 0}},
                      LoadCase{"DibMustFollowBmp", "*.bmp;*.gif;*.dib", {0, 1, 0, 0}},
                      LoadCase{"AllAmongOthers", "*.jpg;*.*", {1, 0, 0, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

struct OkCase {
    const char* name;
    Boxes boxes;
    const char* pattern;
};

class OkStepTest : public DateienTest, public ::testing::WithParamInterface<OkCase> {};

TEST_P(OkStepTest, BuildsThePatternFromTheBoxes) {
    start();
    open([&](Dateien& d) {
        set(d, GetParam().boxes);
        QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    });
    EXPECT_EQ(main().Dateiliste->Pattern(), GetParam().pattern);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, OkStepTest,
    ::testing::Values(OkCase{"AllOverridesTheOthers", {1, 1, 1, 1}, "*.*"},
                      OkCase{"OnlyAll", {0, 0, 0, 1}, "*.*"},
                      OkCase{"OnlyJpeg", {1, 0, 0, 0}, "*.jpg"},
                      OkCase{"OnlyGif", {0, 1, 0, 0}, "*.gif"},
                      OkCase{"OnlyBitmaps", {0, 0, 1, 0}, "*.bmp;*.dib"},
                      OkCase{"GifAndBitmaps", {0, 1, 1, 0}, "*.gif;*.bmp;*.dib"},
                      OkCase{"JpegAndBitmaps", {1, 0, 1, 0}, "*.jpg;*.bmp;*.dib"},
                      OkCase{"JpegAndGif", {1, 1, 0, 0}, "*.jpg;*.gif"},
                      OkCase{"EveryType", {1, 1, 1, 0}, "*.jpg;*.gif;*.bmp;*.dib"},
                      OkCase{"GreyedCountsAsUnticked", {1, 2, 2, 2}, "*.jpg"},
                      OkCase{"Nothing", {0, 0, 0, 0}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DateienTest, AGreyedBoxBecomesATwoStateBoxOnceClicked) {
    start("BMP=2\nALL=0\n");
    open([&](Dateien& d) {
        ASSERT_EQ(platform::checkBoxValue(*d.chkBMP), platform::vbGrayed);
        click(*d.chkBMP);
        EXPECT_EQ(platform::checkBoxValue(*d.chkBMP), platform::vbChecked);
        click(*d.chkBMP);
        EXPECT_EQ(platform::checkBoxValue(*d.chkBMP), platform::vbUnchecked);
        click(*d.chkBMP);
        EXPECT_EQ(platform::checkBoxValue(*d.chkBMP), platform::vbChecked);
        click(*d.chkGIF);
        click(*d.chkGIF);
        click(*d.chkGIF);
        EXPECT_EQ(platform::checkBoxValue(*d.chkGIF), platform::vbChecked);
        QTest::mouseClick(d.cmdAbbrechen, Qt::LeftButton);
    });
}

TEST_F(DateienTest, BoxesHaveNoHandlersOfTheirOwn) {
    start("JPEG=1\nALL=0\n");
    open([&](Dateien& d) {
        click(*d.chkALL);
        EXPECT_EQ(states(d), (Boxes{1, 0, 0, 1}));
        EXPECT_TRUE(d.chkJPG->isEnabled());
        EXPECT_TRUE(d.chkGIF->isEnabled());
        QTest::mouseClick(d.cmdAbbrechen, Qt::LeftButton);
    });
}

TEST_F(DateienTest, TheRealModalLoopEndsWithOkAndTheDialogIsDiscardedAfterwards) {
    start();
    QMetaObject::invokeMethod(
        &forms(),
        [&] {
            Dateien* d = forms().find<Dateien>();
            ASSERT_NE(d, nullptr);
            ASSERT_TRUE(d->isVisible());
            click(*d->chkGIF);
            click(*d->chkALL);
            d->cmdOK->click();
        },
        Qt::QueuedConnection);
    QPointer<Dateien> shown = forms().find<Dateien>();
    main().mnuDateien->trigger();
    EXPECT_EQ(main().Dateiliste->Pattern(), "*.gif");
    EXPECT_FALSE(forms().isLoaded<Dateien>());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(shown.isNull());
}

} // namespace
