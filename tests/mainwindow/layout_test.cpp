// The windows as built: flags, geometry, captions, menus, tab order, icon, and captions that fit
// their controls in the program's interface font.
#include "dialogs/dateien.h"
#include "mainwindow/frmmain.h"
#include "platform/controls.h"
#include "platform/hscrollbar.h"
#include "platform/interfacefont.h"
#include "platform/picturebox.h"
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
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QTest>
#include <gtest/gtest.h>
#include <vector>

namespace {

using platform::twipsToPixels;

QRect twips(int left, int top, int width, int height) {
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

// The focusable, visible widgets of a window in the order Tab visits them, from `first` on.
std::vector<QWidget*> tabChain(QWidget& window, QWidget* first) {
    std::vector<QWidget*> chain;
    QWidget* w = first;
    do {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(&window) && w->isEnabled())
            chain.push_back(w);
        w = w->nextInFocusChain();
    } while (w != first && chain.size() < 50);
    return chain;
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

TEST_F(LayoutTest, MainWindowTabOrderFollowsTheTabIndices) {
    frmMain& w = start();
    EXPECT_EQ(w.focusWidget(), w.Qualitaet) << "tab index 0 has the focus at the start";
    const std::vector<QWidget*> expected{w.Qualitaet, w.cmd_Save, w.ExtKl,     w.ExtGr,
                                         w.Dateiname, w.Pfad,     w.PfadDialog};
    EXPECT_EQ(tabChain(w, w.Qualitaet), expected);
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

TEST_F(LayoutTest, DialogTabOrderFollowsTheTabIndices) {
    start();
    Dateien& d = forms().get<Dateien>();
    d.show();
    EXPECT_EQ(d.focusWidget(), d.chkJPG);
    const std::vector<QWidget*> expected{d.chkJPG, d.chkGIF, d.chkBMP,
                                         d.chkALL, d.cmdOK,  d.cmdAbbrechen};
    EXPECT_EQ(tabChain(d, d.chkJPG), expected);
}

// Whether a control's caption fits the space its style leaves for text (for a text box: whether
// its text is shown in full height, and in full width if it is short).
void expectCaptionFits(QWidget& control) {
    const QFontMetrics metrics(control.font());
    QRect space;
    QString text;
    if (auto* label = qobject_cast<QLabel*>(&control)) {
        text = label->text();
        space = label->contentsRect();
    } else if (auto* edit = qobject_cast<QLineEdit*>(&control)) {
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.rect = edit->rect();
        option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
        text = edit->text();
        // The line edit keeps one pixel free above and below its text.
        space = edit->style()
                    ->subElementRect(QStyle::SE_LineEditContents, &option, edit)
                    .adjusted(0, 1, 0, -1);
    } else if (auto* button = qobject_cast<QAbstractButton*>(&control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.rect = button->rect();
        option.text = button->text();
        const auto element = qobject_cast<QCheckBox*>(button)      ? QStyle::SE_CheckBoxContents
                             : qobject_cast<QRadioButton*>(button) ? QStyle::SE_RadioButtonContents
                                                                   : QStyle::SE_PushButtonContents;
        text = button->text().remove(u'&');
        space = button->style()->subElementRect(element, &option, button);
    } else {
        return;
    }
    const QString name = control.metaObject()->className() + (": \"" + text + "\"");
    if (!qobject_cast<QLineEdit*>(&control) || text.size() < 8) {
        EXPECT_LE(metrics.horizontalAdvance(text), space.width()) << name.toStdString();
    }
    EXPECT_LE(metrics.height(), space.height()) << name.toStdString();
}

TEST_F(LayoutTest, EveryCaptionFitsItsControl) {
    frmMain& w = start();
    EXPECT_EQ(QFontInfo(w.font()).pointSize(), 8);
    for (QWidget* control : w.centralWidget()->findChildren<QWidget*>())
        expectCaptionFits(*control);
    // The widest read-out and the widest base name shown in full.
    w.Qualitaet->setValue(100);
    expectCaptionFits(*w.Label3);
    Dateien& d = forms().get<Dateien>();
    d.show();
    for (QWidget* control : d.findChildren<QWidget*>())
        expectCaptionFits(*control);
}

} // namespace
