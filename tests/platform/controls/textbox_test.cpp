// The text box: when it reports a lost focus, and what it takes from a drop.
#include "platform/controls/textbox.h"
#include "platform/files/filenames.h"
#include "support/qtprinters.h"

#include <QApplication>
#include <QDropEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

class TextBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto* client = new QWidget(&window);
        auto* layout = new QVBoxLayout(client);
        box = new platform::TextBox(client);
        other = new QLineEdit(client);
        layout->addWidget(box);
        layout->addWidget(other);
        window.setCentralWidget(client);
        window.menuBar()->addMenu(QStringLiteral("&Datei"))->addAction(QStringLiteral("&Beenden"));
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        box->setFocus(Qt::OtherFocusReason);
        ASSERT_TRUE(box->hasFocus());
    }

    QMainWindow window;
    platform::TextBox* box = nullptr;
    QLineEdit* other = nullptr;
};

struct ReasonCase {
    const char* name;
    Qt::FocusReason reason;
    bool lost;
};
void PrintTo(const ReasonCase& c, std::ostream* out) {
    *out << c.name;
}

class FocusReasonTest : public TextBoxTest, public ::testing::WithParamInterface<ReasonCase> {};

TEST_P(FocusReasonTest, AMoveToAnotherControlOfTheWindowCountsUnlessAMenuOrWindowTookIt) {
    QSignalSpy lost(box, &platform::TextBox::LostFocus);
    other->setFocus(GetParam().reason);
    EXPECT_TRUE(other->hasFocus());
    EXPECT_EQ(lost.count(), GetParam().lost ? 1 : 0);
    // Coming back and leaving again by Tab is always a lost focus, and only one.
    box->setFocus(Qt::TabFocusReason);
    QTest::keyClick(box, Qt::Key_Tab);
    EXPECT_TRUE(other->hasFocus());
    EXPECT_EQ(lost.count(), GetParam().lost ? 2 : 1);
}

INSTANTIATE_TEST_SUITE_P(Reasons, FocusReasonTest,
                         ::testing::Values(ReasonCase{"Mouse", Qt::MouseFocusReason, true},
                                           ReasonCase{"Tab", Qt::TabFocusReason, true},
                                           ReasonCase{"Backtab", Qt::BacktabFocusReason, true},
                                           ReasonCase{"Shortcut", Qt::ShortcutFocusReason, true},
                                           ReasonCase{"Program", Qt::OtherFocusReason, true},
                                           ReasonCase{"Popup", Qt::PopupFocusReason, false},
                                           ReasonCase{"ActiveWindow", Qt::ActiveWindowFocusReason,
                                                      false},
                                           ReasonCase{"MenuBar", Qt::MenuBarFocusReason, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TextBoxTest, DestroyingTheWindowIsNoLostFocus) {
    int lost = 0;
    QObject::connect(box, &platform::TextBox::LostFocus, [&] { ++lost; });
    delete window.centralWidget();
    EXPECT_EQ(lost, 0);
}

// A name's carried bytes are shown readably and kept while the user types beside them (as UTF-8).
TEST_F(TextBoxTest, KeepsTheBytesOfTheNameItShowsAndTakesWhatIsTypedAsTyped) {
    platform::setText(*box, platform::decodeName("/b/S\374d"));
    EXPECT_EQ(box->text(), "/b/Süd");
    box->setCursorPosition(5); // after the ü: the typed one follows it
    QTest::sendKeyEvent(QTest::Click, box, Qt::Key_Udiaeresis, QStringLiteral("ü"), {});
    EXPECT_EQ(platform::encodeName(box->Text()), "/b/S\374\303\274d");
}

// Drops, as a file manager or a text editor makes them.
class DropTest : public TextBoxTest {
protected:
    bool dragOver(const QMimeData& data) {
        QDragEnterEvent enter(QPoint(3, 3), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(box, &enter);
        QDragMoveEvent move(QPoint(4, 4), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                            Qt::NoModifier);
        QCoreApplication::sendEvent(box, &move);
        EXPECT_EQ(enter.isAccepted(), move.isAccepted());
        return enter.isAccepted();
    }
    void drop(const QMimeData& data) {
        QDropEvent event(QPointF(4, 4), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(box, &event);
    }
};

TEST_F(DropTest, WithFileDropsOnlyLocalFilesAreTakenAndReportedInOrder) {
    box->setFileDrops(true);
    box->setText(QStringLiteral("vorher"));
    QSignalSpy dropped(box, &platform::TextBox::FilesDropped);
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QStringLiteral("/a/b c/")),
                   QUrl(QStringLiteral("https://example.org/x.jpg")),
                   QUrl::fromLocalFile(QStringLiteral("/d.jpg")),
                   QUrl::fromEncoded("file:///alt/Ferien_S%FCdtirol")});
    files.setText(QStringLiteral("file:///a/b%20c/"));
    EXPECT_TRUE(dragOver(files));
    drop(files);
    ASSERT_EQ(dropped.count(), 1);
    EXPECT_EQ(dropped[0][0].toStringList(),
              (QStringList{"/a/b c/", "/d.jpg", platform::decodeName("/alt/Ferien_S\374dtirol")}));
    EXPECT_EQ(box->text(), "vorher") << "the owner decides what becomes of the drop";

    QMimeData text;
    text.setText(QStringLiteral("/a/b"));
    EXPECT_FALSE(dragOver(text));
    drop(text);
    EXPECT_EQ(dropped.count(), 1);
    EXPECT_EQ(box->text(), "vorher");
}

TEST_F(DropTest, WithoutFileDropsTextIsInsertedAsUsual) {
    QSignalSpy dropped(box, &platform::TextBox::FilesDropped);
    QMimeData text;
    text.setText(QStringLiteral("eingefügt"));
    EXPECT_TRUE(dragOver(text));
    drop(text);
    EXPECT_EQ(dropped.count(), 0);
    EXPECT_EQ(box->text(), "eingefügt");
}

} // namespace
