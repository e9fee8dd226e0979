// The main window's menu commands that open the other windows.
#include "dialogs/frmabout.h"
#include "mainwindow/frmmain.h"
#include "support/messageboxes.h"
#include "support/programfolder.h"

#include <QAction>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

class MenusTest : public testsupport::ProgramFolderTest {
protected:
    void TearDown() override { platform::Forms::setModalHandler({}); }
    testsupport::MessageBoxes boxes;
};

TEST_F(MenusTest, InfoShowsTheAboutBoxModallyAndItsOkUnloadsIt) {
    frmMain& w = forms().show<frmMain>();
    QString caption;
    platform::Forms::setModalHandler([&](QWidget& shown) {
        caption = shown.windowTitle();
        EXPECT_EQ(shown.windowModality(), Qt::ApplicationModal);
        forms().get<frmAbout>().cmdOK->click();
    });
    w.mnuInfo->trigger();
    EXPECT_EQ(caption, "Info zu Kalmora");
    EXPECT_FALSE(forms().isLoaded<frmAbout>());
}

TEST_F(MenusTest, TheCloseStepUnloadsAnAboutBoxThatIsStillLoaded) {
    frmMain& w = forms().show<frmMain>();
    forms().get<frmAbout>();
    w.mnuBeenden->trigger();
    EXPECT_EQ(forms().loadedCount(), 0);
    EXPECT_EQ(ended(), 1);
}

} // namespace
