// The progress window: its look, and how it holds the main window while it is open.
#include "conversion/fortschritt.h"
#include "mainwindow/frmmain.h"
#include "platform/controls/controls.h"
#include "platform/controls/progressbar.h"
#include "support/messageboxes.h"
#include "support/programfolder.h"
#include "support/qtprinters.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using platform::twipsToPixels;

class FortschrittTest : public testsupport::ProgramFolderTest {
protected:
    frmMain& main() { return forms().show<frmMain>(); }
    Fortschritt& open() {
        main();
        return forms().show<Fortschritt>();
    }
    testsupport::MessageBoxes boxes;
};

QRect twips(int left, int top, int width, int height) {
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

TEST_F(FortschrittTest, IsAFixedToolWindowWithTheCloseBoxOnly) {
    Fortschritt& w = open();
    EXPECT_EQ(w.windowTitle(), "Fortschritt");
    const Qt::WindowFlags flags = w.windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(w.windowIcon().isNull());
    EXPECT_EQ(w.size(), QSize(twipsToPixels(2985), twipsToPixels(1395)));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_EQ(w.parentWidget(), nullptr);
    EXPECT_FALSE(w.isModal());
}

TEST_F(FortschrittTest, ControlsStandWhereTheyBelongInTabOrder) {
    Fortschritt& w = open();
    EXPECT_EQ(w.lblFortschritt->geometry(), twips(135, 150, 2655, 255));
    EXPECT_EQ(w.lblFortschritt->text(), "");
    EXPECT_EQ(w.lblFortschritt->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(w.prgBFortschritt->geometry(), twips(135, 450, 2655, 375));
    EXPECT_EQ(w.prgBFortschritt->Min(), 0.0f);
    EXPECT_EQ(w.prgBFortschritt->Max(), 100.0f);
    EXPECT_EQ(w.prgBFortschritt->Value(), 0.0f);
    EXPECT_EQ(w.Abbrechen->geometry(), twips(840, 945, 1215, 345));
    EXPECT_EQ(w.Abbrechen->text(), "&Abbrechen");
    EXPECT_EQ(w.Abbrechen->toolTip(), "Bricht den Vorgang ab");
    EXPECT_FALSE(w.Abbrechen->isDefault());
    EXPECT_FALSE(w.Abbrechen->autoDefault());
}

TEST_F(FortschrittTest, LoadingDisablesTheMainWindowItsControlsAndMenus) {
    frmMain& m = main();
    ASSERT_TRUE(m.isEnabled());
    forms().get<Fortschritt>(); // a hidden load too
    EXPECT_FALSE(m.isEnabled());
    EXPECT_FALSE(m.cmd_Save->isEnabled());
    EXPECT_FALSE(m.menuBar()->isEnabled());
    EXPECT_FALSE(m.Pfad->isEnabled());

    // A click on "&Umwandeln" reaches nothing: no run starts, so no message either.
    QTest::mouseClick(m.cmd_Save, Qt::LeftButton);
    EXPECT_EQ(boxes.count(), 0);
}

TEST_F(FortschrittTest, AbbrechenSetsTheAbortFlagAndClosesTheWindow) {
    frmMain& m = main();
    Fortschritt& w = open();
    w.prgBFortschritt->setMax(10);
    w.prgBFortschritt->setValue(4);
    QTest::mouseClick(w.Abbrechen, Qt::LeftButton);
    EXPECT_TRUE(m.Abbr);
    EXPECT_FALSE(forms().isLoaded<Fortschritt>());
    EXPECT_EQ(w.prgBFortschritt->Value(), 0.0f); // reset on the way out
    EXPECT_TRUE(m.isEnabled());
    EXPECT_FALSE(w.isVisible());
}

TEST_F(FortschrittTest, UnloadingForAnyReasonResetsTheBarAndEnablesTheMainWindow) {
    frmMain& m = main();
    Fortschritt& w = open();
    w.prgBFortschritt->setValue(50);
    forms().unload<Fortschritt>();
    EXPECT_FALSE(m.Abbr); // only the button and the close box cancel
    EXPECT_EQ(w.prgBFortschritt->Value(), 0.0f);
    EXPECT_TRUE(m.isEnabled());
    // The next window is a fresh one.
    Fortschritt& again = open();
    EXPECT_EQ(again.prgBFortschritt->Max(), 100.0f);
    EXPECT_EQ(again.lblFortschritt->text(), "");
}

TEST_F(FortschrittTest, TheMainWindowGetsItsFocusBackWhenTheWindowGoes) {
    frmMain& m = main();
    m.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m));
    m.cmd_Save->setFocus();
    ASSERT_TRUE(m.cmd_Save->hasFocus());
    Fortschritt& w = open();
    w.activateWindow();
    EXPECT_FALSE(m.cmd_Save->hasFocus());
    forms().unload<Fortschritt>();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&m));
    EXPECT_TRUE(m.cmd_Save->hasFocus()) << "a second Enter or Space converts again";
}

TEST_F(FortschrittTest, AUserInAnotherWindowIsNotPulledBackWhenTheWindowGoes) {
    frmMain& m = main();
    m.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m));
    m.cmd_Save->setFocus();
    open();
    QLineEdit elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    forms().unload<Fortschritt>();
    QCoreApplication::processEvents();
    EXPECT_TRUE(elsewhere.isActiveWindow());
    EXPECT_EQ(m.focusWidget(), m.cmd_Save) << "where the focus goes when the user comes back";
}

TEST_F(FortschrittTest, TheCloseBoxCancelsAsAbbrechenDoes) {
    frmMain& m = main();
    Fortschritt& w = open();
    QCloseEvent close;
    QCoreApplication::sendEvent(&w, &close);
    EXPECT_TRUE(close.isAccepted());
    EXPECT_TRUE(m.Abbr);
    EXPECT_FALSE(forms().isLoaded<Fortschritt>());
    EXPECT_TRUE(m.isEnabled());
}

TEST_F(FortschrittTest, EscAndEnterDoNotCancel) {
    frmMain& m = main();
    Fortschritt& w = open();
    w.activateWindow();
    for (QWidget* target : {static_cast<QWidget*>(&w), static_cast<QWidget*>(w.Abbrechen)}) {
        QTest::keyClick(target, Qt::Key_Escape);
        QTest::keyClick(target, Qt::Key_Return);
    }
    EXPECT_FALSE(m.Abbr);
    EXPECT_TRUE(forms().isLoaded<Fortschritt>());
    EXPECT_FALSE(m.isEnabled());
}

TEST_F(FortschrittTest, UnloadingNeverLoadsAMainWindowThatIsGone) {
    forms().get<Fortschritt>(); // loads the main window hidden, to disable it
    ASSERT_TRUE(forms().isLoaded<frmMain>());
    forms().unload<frmMain>(); // its close step unloads the progress window too
    EXPECT_FALSE(forms().isLoaded<Fortschritt>());
    EXPECT_FALSE(forms().isLoaded<frmMain>());
    EXPECT_EQ(forms().loadedCount(), 0);
}

TEST_F(FortschrittTest, TheMainWindowRefusesToCloseWhileTheWindowIsOpen) {
    frmMain& m = main();
    open();
    QCloseEvent refused;
    QCoreApplication::sendEvent(&m, &refused);
    EXPECT_FALSE(refused.isAccepted());
    EXPECT_TRUE(forms().isLoaded<frmMain>());
    EXPECT_EQ(ended(), 0);
    EXPECT_TRUE(readIni().empty()); // the close step did not run

    forms().unload<Fortschritt>();
    QCloseEvent accepted;
    QCoreApplication::sendEvent(&m, &accepted);
    EXPECT_TRUE(accepted.isAccepted());
    EXPECT_EQ(ended(), 1);
}

} // namespace
