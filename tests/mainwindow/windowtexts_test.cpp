// Every window as a person reads and uses it, in the program's interface font: no text is clipped
// by its control, Tab follows the tab indices, no access key ("&X") is given twice in a window (the
// menu bar included), and a screen reader tells the controls apart.
#include "conversion/fortschritt.h"
#include "dialogs/dateien.h"
#include "dialogs/frmabout.h"
#include "dialogs/pfadauswahl.h"
#include "mainwindow/frmmain.h"
#include "platform/controls/dirlistbox.h"
#include "platform/controls/drivelistbox.h"
#include "platform/controls/hscrollbar.h"
#include "platform/controls/progressbar.h"
#include "platform/windows/interfacefont.h"
#include "platform/windows/messagebox.h"
#include "support/messageboxes.h"
#include "support/programfolder.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMetaEnum>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QStyleOptionViewItem>
#include <QTest>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <ostream>
#include <set>
#include <vector>

namespace {

using platform::Forms;

// ---------------------------------------------------------------- measuring a control's text

// The text as drawn: "&&" is one ampersand, a single "&" marks the access key and is not drawn.
QString drawnText(const QString& caption) {
    QString shown;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&' && i + 1 < caption.size())
            ++i;
        shown += caption[i];
    }
    return shown;
}

// The room a button's style leaves for its caption, set up as the button sets up its own drawing.
QRect buttonTextRoom(const QAbstractButton& button) {
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    option.icon = button.icon();
    option.iconSize = button.iconSize();
    QStyle::SubElement element = QStyle::SE_PushButtonContents;
    if (qobject_cast<const QCheckBox*>(&button)) {
        element = QStyle::SE_CheckBoxContents;
    } else if (qobject_cast<const QRadioButton*>(&button)) {
        element = QStyle::SE_RadioButtonContents;
    } else if (const auto* push = qobject_cast<const QPushButton*>(&button)) {
        if (push->isDefault())
            option.features |= QStyleOptionButton::DefaultButton;
        if (push->autoDefault())
            option.features |= QStyleOptionButton::AutoDefaultButton;
        if (push->isFlat())
            option.features |= QStyleOptionButton::Flat;
    }
    return button.style()->subElementRect(element, &option, &button);
}

// What is wrong with the way a control shows its text; empty when every character is in view.
QString clipped(const QWidget& control) {
    const QFontMetrics metrics(control.font());
    const auto tooSmall = [](const QString& text, QSize needed, QRect room) {
        if (needed.width() <= room.width() && needed.height() <= room.height())
            return QString();
        return QStringLiteral("\"%1\" needs %2 x %3 pixels, has %4 x %5")
            .arg(text)
            .arg(needed.width())
            .arg(needed.height())
            .arg(room.width())
            .arg(room.height());
    };

    if (const auto* label = qobject_cast<const QLabel*>(&control)) {
        if (!label->pixmap().isNull())
            return tooSmall(QStringLiteral("(picture)"),
                            label->pixmap().deviceIndependentSize().toSize(),
                            label->contentsRect());
        const QString text = label->text();
        if (text.isEmpty())
            return {};
        const QRect room = label->contentsRect();
        if (!label->wordWrap())
            return tooSmall(text, metrics.size(Qt::TextShowMnemonic, text), room);
        // A wrapped text fits when its lines fit the height and no single word is wider than a
        // line.
        for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
            const QString wrong = tooSmall(word, QSize(metrics.horizontalAdvance(word), 0), room);
            if (!wrong.isEmpty())
                return wrong;
        }
        return tooSmall(text, QSize(0, label->heightForWidth(label->width())), label->rect());
    }

    if (const auto* edit = qobject_cast<const QLineEdit*>(&control)) {
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.rect = edit->rect();
        option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
        // The text box keeps a pixel free above and below its line of text.
        const QRect room = edit->style()
                               ->subElementRect(QStyle::SE_LineEditContents, &option, edit)
                               .adjusted(0, 1, 0, -1);
        // A long text (a folder) scrolls inside its box by design; a short one such as the base
        // name is seen whole.
        const QString text = edit->text();
        const int width = text.size() <= 8 ? metrics.horizontalAdvance(text) : 0;
        return tooSmall(text, QSize(width, metrics.height()), room);
    }

    if (const auto* button = qobject_cast<const QAbstractButton*>(&control)) {
        const QString text = drawnText(button->text());
        return tooSmall(text, QSize(metrics.horizontalAdvance(text), metrics.height()),
                        buttonTextRoom(*button));
    }

    if (const auto* combo = qobject_cast<const QComboBox*>(&control)) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = combo->isEditable();
        option.currentText = combo->currentText();
        const QRect room = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                          QStyle::SC_ComboBoxEditField, combo);
        return tooSmall(option.currentText,
                        QSize(metrics.horizontalAdvance(option.currentText), metrics.height()),
                        room);
    }

    if (const auto* list = qobject_cast<const QListWidget*>(&control)) {
        // Every entry of a usual length, drawn by the list's own delegate (indentation and icon
        // included), fits a line of the list; a folder with a long name scrolls sideways.
        QStyleOptionViewItem option;
        option.initFrom(list);
        option.font = list->font();
        const int icon = list->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, list);
        option.decorationSize = list->iconSize().isValid() ? list->iconSize() : QSize(icon, icon);
        option.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
        const QRect room = list->viewport()->rect();
        for (int row = 0; row < list->count(); ++row) {
            if (list->item(row)->text().size() > 16)
                continue;
            const QModelIndex index = list->model()->index(row, 0);
            const QString wrong = tooSmall(list->item(row)->text(),
                                           list->itemDelegate()->sizeHint(option, index), room);
            if (!wrong.isEmpty())
                return wrong;
        }
        return {};
    }

    if (const auto* bar = qobject_cast<const QMenuBar*>(&control)) {
        // A title that does not fit the bar moves into an overflow menu, out of sight.
        for (QAction* title : bar->actions()) {
            const QRect place = bar->actionGeometry(title);
            if (place.isEmpty() || !bar->rect().contains(place))
                return QStringLiteral("menu \"%1\" does not fit the menu bar").arg(title->text());
        }
    }
    return {};
}

// The controls a person sees: shown within the window (the window's own widget included).
std::vector<QWidget*> visibleControls(QWidget& window) {
    std::vector<QWidget*> controls;
    for (QWidget* control : window.findChildren<QWidget*>())
        if (control->isVisibleTo(&window) && control->window() == &window)
            controls.push_back(control);
    return controls;
}

// The control's class and its name, or else its text.
QString describe(const QWidget& control) {
    QString name = control.objectName();
    if (const auto* button = qobject_cast<const QAbstractButton*>(&control);
        name.isEmpty() && button)
        name = u'"' + button->text() + u'"';
    else if (const auto* edit = qobject_cast<const QLineEdit*>(&control); name.isEmpty() && edit)
        name = u'"' + edit->text() + u'"';
    else if (const auto* label = qobject_cast<const QLabel*>(&control); name.isEmpty() && label)
        name = u'"' + label->text() + u'"';
    return QString::fromLatin1(control.metaObject()->className()) +
           (name.isEmpty() ? QString() : u' ' + name);
}

// ---------------------------------------------------------------- access keys

// The access key of a caption, lower case; nothing when it has none.
std::optional<QChar> accessKey(const QString& caption) {
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != u'&')
            continue;
        if (caption[i + 1] != u'&')
            return caption[i + 1].toLower();
        ++i; // "&&" is a drawn ampersand
    }
    return std::nullopt;
}

// Captions that share a key in one place where Alt+key or the key alone chooses among them.
using KeyScope = std::vector<QString>;

std::vector<KeyScope> keyScopes(QWidget& window) {
    KeyScope controls;
    std::vector<KeyScope> scopes;
    for (QWidget* control : visibleControls(window)) {
        if (const auto* button = qobject_cast<QAbstractButton*>(control))
            controls.push_back(button->text());
        else if (const auto* label = qobject_cast<QLabel*>(control))
            controls.push_back(label->text());
        else if (const auto* bar = qobject_cast<QMenuBar*>(control)) {
            // The titles answer Alt+key beside the controls; each open menu has keys of its own.
            for (QAction* title : bar->actions()) {
                controls.push_back(title->text());
                if (QMenu* menu = title->menu()) {
                    KeyScope items;
                    for (const QAction* item : menu->actions())
                        items.push_back(item->text());
                    scopes.push_back(items);
                }
            }
        }
    }
    scopes.push_back(controls);
    return scopes;
}

// ---------------------------------------------------------------- the windows

struct WindowCase {
    const char* name;
    // Shows the window (not modally) with the widest texts it shows in use.
    std::function<QWidget&(Forms&)> open;
    // The controls that Tab visits, in the order of their tab indices (hidden controls and those
    // that take no focus are left out).
    std::function<std::vector<QWidget*>(QWidget&)> tabOrder;
    // What a screen reader learns besides the names: the window's role and description, the roles
    // of the controls that Tab visits, and the numbers the window's controls hold ("value = text").
    const char* told;
};

void PrintTo(const WindowCase& c, std::ostream* os) {
    *os << c.name;
}

const WindowCase kWindows[] = {
    {"frmMain",
     [](Forms& forms) -> QWidget& {
         frmMain& w = forms.show<frmMain>();
         w.Qualitaet->setValue(100); // the widest read-out
         return w;
     },
     [](QWidget& window) {
         auto& w = static_cast<frmMain&>(window);
         return std::vector<QWidget*>{w.Qualitaet, w.cmd_Save, w.ExtKl,     w.ExtGr,
                                      w.Dateiname, w.Pfad,     w.PfadDialog};
     },
     "Window ScrollBar Button RadioButton RadioButton EditableText EditableText Button 100 = 100 "
     "%"},
    {"Dateien",
     [](Forms& forms) -> QWidget& {
         forms.get<frmMain>();
         return forms.show<Dateien>();
     },
     [](QWidget& window) {
         auto& d = static_cast<Dateien&>(window);
         return std::vector<QWidget*>{d.chkJPG, d.chkGIF, d.chkBMP,
                                      d.chkALL, d.cmdOK,  d.cmdAbbrechen};
     },
     "Dialog CheckBox CheckBox CheckBox CheckBox Button Button"},
    {"Fortschritt",
     [](Forms& forms) -> QWidget& {
         forms.get<frmMain>();
         Fortschritt& f = forms.show<Fortschritt>();
         // At the end of a run, at the widest count the label has room for.
         f.prgBFortschritt->setMax(9999999);
         f.prgBFortschritt->setValue(9999999);
         f.lblFortschritt->setText(QStringLiteral("9999999 von 9999999 Dateien."));
         return f;
     },
     [](QWidget& window) {
         return std::vector<QWidget*>{static_cast<Fortschritt&>(window).Abbrechen};
     },
     "Dialog Button 9999999 = 100 %"},
    {"Pfadauswahl",
     [](Forms& forms) -> QWidget& {
         // Opened on the program's folder, as the main window holds it after start-up, with
         // subfolders of usual names.
         forms.get<frmMain>();
         for (const char* name : {"Bilder", "Urlaub 2026", "Größenänderung"})
             QDir(forms.places().defaultFolder).mkdir(QString::fromUtf8(name));
         return forms.show<Pfadauswahl>();
     },
     [](QWidget& window) {
         auto& p = static_cast<Pfadauswahl&>(window);
         return std::vector<QWidget*>{p.Laufwerk, p.Verzeichnis, p.cmdOK, p.cmdAbbrechen};
     },
     "Dialog ComboBox List Button Button"},
    {"frmAbout", [](Forms& forms) -> QWidget& { return forms.show<frmAbout>(); },
     [](QWidget& window) {
         auto& a = static_cast<frmAbout&>(window);
         return std::vector<QWidget*>{a.cmdOK, a.cmdSysInfo};
     },
     "Dialog Button Button"},
    {"MsgBox",
     [](Forms& forms) -> QWidget& {
         // The real box, as MsgBox shows it when no test answers; it goes with the main window.
         QMessageBox* box = platform::messageBox({"Der angegebene Pfad existiert nicht!",
                                                  platform::vbCritical, "Fehler"})
                                .release();
         box->setParent(&forms.get<frmMain>(), box->windowFlags());
         box->show();
         return *box;
     },
     [](QWidget& box) {
         return std::vector<QWidget*>{static_cast<QMessageBox&>(box).button(QMessageBox::Ok)};
     },
     "AlertMessage Der angegebene Pfad existiert nicht! Button"},
};

class WindowTextsTest : public testsupport::ProgramFolderTest,
                        public ::testing::WithParamInterface<WindowCase> {
protected:
    void SetUp() override {
        savedFont_ = QApplication::font();
        platform::useInterfaceFont();
    }
    void TearDown() override { QApplication::setFont(savedFont_); }

    QWidget& open() { return GetParam().open(forms()); }

private:
    QFont savedFont_;
    testsupport::MessageBoxes boxes_;
};

TEST_P(WindowTextsTest, NoTextIsClipped) {
    QWidget& window = open();
    int checked = 0;
    for (QWidget* control : visibleControls(window)) {
        EXPECT_EQ(QFontInfo(control->font()).pointSize(), 8) << describe(*control).toStdString();
        const QString wrong = clipped(*control);
        EXPECT_TRUE(wrong.isEmpty())
            << describe(*control).toStdString() << ": " << wrong.toStdString();
        ++checked;
    }
    EXPECT_GT(checked, 2);
}

// The controls in the window's focus chain that Tab can reach, from `first` once round.
std::vector<QWidget*> focusChain(QWidget& window, QWidget* first) {
    std::vector<QWidget*> chain;
    QWidget* w = first;
    do {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(&window) && w->isEnabled())
            chain.push_back(w);
        w = w->nextInFocusChain();
    } while (w != first && chain.size() < 100);
    return chain;
}

// A group of option buttons is one stop for Tab, at its first button in the chain; the arrow
// keys move within the group.
std::vector<QWidget*> tabStops(std::vector<QWidget*> chain) {
    std::vector<const QButtonGroup*> seen;
    std::erase_if(chain, [&](const QWidget* control) {
        const auto* option = qobject_cast<const QRadioButton*>(control);
        const QButtonGroup* group = option ? option->group() : nullptr;
        if (!group || !group->exclusive())
            return false;
        if (std::ranges::find(seen, group) != seen.end())
            return true;
        seen.push_back(group);
        return false;
    });
    return chain;
}

std::string names(const std::vector<QWidget*>& widgets) {
    std::string text;
    for (const QWidget* w : widgets)
        text += (w ? describe(*w).toStdString() : std::string("nothing")) + "; ";
    return text;
}

// Where the focus goes from the first stop on, pressing the key once for every stop.
std::vector<QWidget*> focusRound(QWidget* first, std::size_t stops, Qt::KeyboardModifiers keys) {
    first->setFocus(Qt::OtherFocusReason);
    std::vector<QWidget*> visited{QApplication::focusWidget()};
    for (std::size_t i = 0; i < stops; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, keys);
        visited.push_back(QApplication::focusWidget());
    }
    return visited;
}

TEST_P(WindowTextsTest, TabFollowsTheTabIndices) {
    QWidget& window = open();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const std::vector<QWidget*> tabOrder = GetParam().tabOrder(window);
    EXPECT_EQ(QApplication::focusWidget(), tabOrder.front())
        << "the lowest tab index has the focus when the window opens";
    const std::vector<QWidget*> chain = focusChain(window, tabOrder.front());
    EXPECT_EQ(chain, tabOrder) << "chain: " << names(chain) << "\nexpected: " << names(tabOrder);

    // Pressed once round and back to the start, forwards with Tab and backwards with Shift+Tab.
    std::vector<QWidget*> forwards = tabStops(tabOrder);
    forwards.push_back(forwards.front());
    const std::size_t stops = forwards.size() - 1;
    const std::vector<QWidget*> tab = focusRound(forwards.front(), stops, Qt::NoModifier);
    EXPECT_EQ(tab, forwards) << "Tab: " << names(tab) << "\nexpected: " << names(forwards);
    const std::vector<QWidget*> backwards(forwards.rbegin(), forwards.rend());
    const std::vector<QWidget*> shiftTab = focusRound(forwards.front(), stops, Qt::ShiftModifier);
    EXPECT_EQ(shiftTab, backwards)
        << "Shift+Tab: " << names(shiftTab) << "\nexpected: " << names(backwards);
}

TEST_P(WindowTextsTest, AccessKeysAreUnique) {
    QWidget& window = open();
    for (const KeyScope& scope : keyScopes(window)) {
        std::map<QChar, QString> owners;
        for (const QString& caption : scope) {
            const std::optional<QChar> key = accessKey(caption);
            if (!key)
                continue;
            EXPECT_TRUE(key->isLetterOrNumber()) << caption.toStdString();
            const auto [owner, inserted] = owners.emplace(*key, caption);
            EXPECT_TRUE(inserted) << "\"" << caption.toStdString() << "\" and \""
                                  << owner->second.toStdString() << "\" share Alt+"
                                  << QString(*key).toStdString();
        }
    }
}

TEST_P(WindowTextsTest, AScreenReaderTellsTheControlsApart) {
    QWidget& window = open();
    const auto told = [](QWidget* w) { return QAccessible::queryAccessibleInterface(w); };
    const auto role = [&](QWidget* control) {
        return QMetaEnum::fromType<QAccessible::Role>().valueToKey(told(control)->role());
    };
    QStringList learnt{role(&window), told(&window)->text(QAccessible::Description)};
    std::set<QString> names;
    const std::vector<QWidget*> stops = GetParam().tabOrder(window);
    for (QWidget* stop : stops) {
        // A name says something ("..." does not), without access key or closing colon.
        const QString name = told(stop)->text(QAccessible::Name);
        EXPECT_TRUE(name.contains(QRegularExpression(u"^[^&]*\\p{L}[^&]*(?<!:)$"_qs)) &&
                    names.insert(name).second)
            << describe(*stop).toStdString() << " is named \"" << name.toStdString() << '"';
        learnt << role(stop);
    }
    // The window's own controls, not the parts of a control such as a list's scroll bars.
    for (QWidget* control :
         stops[0]->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (QAccessibleValueInterface* value = told(control)->valueInterface())
            learnt << value->currentValue().toString() + " = " +
                          told(control)->text(QAccessible::Value);
    EXPECT_EQ(learnt.join(u' ').simplified().toStdString(), GetParam().told);
}

INSTANTIATE_TEST_SUITE_P(Windows, WindowTextsTest, ::testing::ValuesIn(kWindows),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
