// The main window and Dateien as built: flags, geometry, captions, menus and icon. (How their texts
// fit, their tab order and access keys are checked for every window in windowtexts_test.)
#include "dialogs/dateien.h"
#include "mainwindow/frmmain.h"
#include "platform/controls/controls.h"
#include "platform/controls/hscrollbar.h"
#include "platform/controls/picturebox.h"
#include "platform/windows/interfacefont.h"
#include "support/programfolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using platform::twipsToPixels;

QRect twips(int left, int top, int width, int height) {
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

class LayoutTest : public testsupport::ProgramFolderTest {
protected:
    void SetUp() override {
        savedFont_ = QApplication::font();
        platform::useInterfaceFont();
    }
    void TearDown() override { QApplication::setFont(savedFont_); }
    frmMain& start() { return forms().show<frmMain>(); }

private:
    QFont savedFont_;
};

TEST_F(LayoutTest, MainWindowIsAFixedWindowWithAMinimiseBox) {
    frmMain& w = start();
    EXPECT_EQ(w.windowTitle(), "Kalmora");
    const Qt::WindowFlags flags = w.windowFlags();
    EXPECT_EQ(w.windowType(), Qt::Window);
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "not resizable";
    EXPECT_EQ(w.size(), w.minimumSize());
    // The client area lies below the menu bar.
    ASSERT_NE(w.centralWidget(), nullptr);
    EXPECT_EQ(w.centralWidget()->size(), QSize(twipsToPixels(3240), twipsToPixels(2595)));
    EXPECT_EQ(w.centralWidget()->y(), w.menuBar()->geometry().bottom() + 1);
    EXPECT_EQ(w.height(), w.menuBar()->height() + twipsToPixels(2595));
}

TEST_F(LayoutTest, MainWindowCarriesAnIconInFiveSizes) {
    const QIcon icon = start().windowIcon();
    ASSERT_FALSE(icon.isNull());
    for (const int size : {16, 24, 32, 48, 64}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
        EXPECT_EQ(icon.pixmap(QSize(size, size)).size(), QSize(size, size)) << size;
    }
}

TEST_F(LayoutTest, MainWindowControlsAreWhereTheTableSays) {
    frmMain& w = start();
    struct Row {
        QWidget* control;
        QRect geometry;
    };
    const Row rows[] = {
        {w.Label4, twips(240, 120, 2415, 255)},    {w.Qualitaet, twips(240, 360, 2130, 255)},
        {w.Label3, twips(2415, 360, 510, 255)},    {w.Label1, twips(240, 735, 2535, 255)},
        {w.Pfad, twips(210, 945, 2535, 285)},      {w.PfadDialog, twips(2730, 945, 330, 285)},
        {w.Dateiname, twips(480, 1365, 735, 285)}, {w.Label2, twips(1245, 1470, 375, 375)},
        {w.ExtGr, twips(1605, 1350, 840, 315)},    {w.ExtKl, twips(1605, 1620, 855, 315)},
        {w.cmd_Save, twips(840, 1995, 1335, 375)}, {w.Quelle, twips(2730, 1890, 330, 480)},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.control->parentWidget(), w.centralWidget());
        EXPECT_EQ(row.control->geometry(), row.geometry) << row.control->metaObject()->className();
        EXPECT_TRUE(row.control->isEnabled());
    }
    EXPECT_FALSE(w.Quelle->isVisible());
    EXPECT_EQ(w.Quelle->Picture(), nullptr);
}

TEST_F(LayoutTest, MainWindowCaptionsAndTips) {
    frmMain& w = start();
    EXPECT_EQ(w.Label4->text(), "Qualität:");
    EXPECT_EQ(w.Label3->text(), "20%");
    EXPECT_EQ(w.Label1->text(), "Pfad:");
    EXPECT_EQ(w.PfadDialog->text(), "...");
    EXPECT_EQ(w.Dateiname->toolTip(), "Gibt das Format für die Dateinamen an");
    EXPECT_EQ(w.Label2->text(), "000.");
    EXPECT_EQ(w.ExtGr->text(), "JPG");
    EXPECT_EQ(w.ExtKl->text(), "jpg");
    EXPECT_EQ(w.cmd_Save->text(), "&Umwandeln");
    EXPECT_EQ(w.cmd_Save->toolTip(), "Speichert alle Dateien im angegebenen Ordner");
    EXPECT_EQ(w.Qualitaet->orientation(), Qt::Horizontal);
    EXPECT_EQ(w.Qualitaet->minimum(), 1);
    EXPECT_EQ(w.Qualitaet->maximum(), 100);
    EXPECT_EQ(w.Qualitaet->singleStep(), 1);
    EXPECT_EQ(w.Qualitaet->pageStep(), 10);
    // No default button: Enter in the window clicks nothing.
    EXPECT_FALSE(w.cmd_Save->isDefault());
    EXPECT_FALSE(w.PfadDialog->isDefault());
}

TEST_F(LayoutTest, ExtensionButtonsFormOneExclusiveGroup) {
    frmMain& w = start();
    QTest::mouseClick(w.ExtGr, Qt::LeftButton);
    EXPECT_TRUE(w.ExtGr->isChecked());
    EXPECT_FALSE(w.ExtKl->isChecked());
    QTest::mouseClick(w.ExtKl, Qt::LeftButton);
    EXPECT_TRUE(w.ExtKl->isChecked());
    EXPECT_FALSE(w.ExtGr->isChecked());
    QTest::mouseClick(w.ExtKl, Qt::LeftButton);
    EXPECT_TRUE(w.ExtKl->isChecked()) << "clicking the selected one keeps it";
}

TEST_F(LayoutTest, MainWindowMenus) {
    frmMain& w = start();
    const QList<QAction*> titles = w.menuBar()->actions();
    ASSERT_EQ(titles.size(), 3);
    EXPECT_EQ(titles[0], w.mnuDatei->menuAction());
    EXPECT_EQ(titles[1], w.mnuOptionen->menuAction());
    EXPECT_EQ(titles[2], w.mnuHilfe->menuAction());
    EXPECT_EQ(w.mnuDatei->title(), "&Datei");
    EXPECT_EQ(w.mnuOptionen->title(), "&Optionen");
    EXPECT_EQ(w.mnuHilfe->title(), "&Hilfe");
    EXPECT_EQ(w.mnuDatei->actions(), QList<QAction*>{w.mnuBeenden});
    EXPECT_EQ(w.mnuOptionen->actions(), QList<QAction*>{w.mnuDateien});
    EXPECT_EQ(w.mnuHilfe->actions(), QList<QAction*>{w.mnuInfo});
    EXPECT_EQ(w.mnuBeenden->text(), "&Beenden");
    EXPECT_EQ(w.mnuDateien->text(), "&Erlaubte Dateitypen");
    EXPECT_EQ(w.mnuInfo->text(), "&Info");
}

TEST_F(LayoutTest, DialogIsAFixedToolWindow) {
    start();
    Dateien& d = forms().get<Dateien>();
    d.show();
    EXPECT_EQ(d.windowTitle(), "Erlaubte Dateien");
    EXPECT_EQ(d.windowType(), Qt::Tool) << "small title bar, not in the task bar";
    const Qt::WindowFlags flags = d.windowFlags();
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(d.windowIcon().isNull());
    EXPECT_EQ(d.size(), QSize(twipsToPixels(3345), twipsToPixels(2595)));
    EXPECT_EQ(d.minimumSize(), d.maximumSize());
}

TEST_F(LayoutTest, DialogControlsAreWhereTheTableSays) {
    start();
    Dateien& d = forms().get<Dateien>();
    struct Row {
        QWidget* control;
        QString caption;
        QRect geometry;
    };
    const Row rows[] = {
        {d.cmdAbbrechen, "&Abbrechen", twips(1770, 2040, 1185, 330)},
        {d.cmdOK, "&Ok", twips(390, 2040, 1185, 330)},
        {d.chkALL, "Alle Dateien (*.*)", twips(210, 1560, 3015, 330)},
        {d.chkBMP, "Bitmaps (*.bmp, *.dib)", twips(210, 1200, 3015, 330)},
        {d.chkGIF, "GIF-Bilder (*.gif)", twips(210, 843, 3015, 330)},
        {d.chkJPG, "JPEG-Bilder (*.jpg)", twips(210, 480, 3015, 330)},
        {d.Label1, "Erlaubte Dateitypen:", twips(210, 105, 3015, 330)},
    };
    // Created in the order of the table: the later one lies above the earlier one.
    QWidget* previous = nullptr;
    for (const Row& row : rows) {
        EXPECT_EQ(row.control->geometry(), row.geometry) << row.caption.toStdString();
        const auto* button = qobject_cast<QAbstractButton*>(row.control);
        const auto* label = qobject_cast<QLabel*>(row.control);
        EXPECT_EQ(button ? button->text() : label->text(), row.caption);
        if (previous) {
            EXPECT_GT(d.children().indexOf(row.control), d.children().indexOf(previous));
        }
        previous = row.control;
    }
    EXPECT_FALSE(d.cmdOK->isDefault() || d.cmdOK->autoDefault());
    EXPECT_FALSE(d.cmdAbbrechen->isDefault() || d.cmdAbbrechen->autoDefault());
}

} // namespace
