// The source-folder entry of the main window: the check when Pfad loses the focus, the clicks it
// refuses, and files dropped on Pfad.
#include "dialogs/pfadauswahl.h"
#include "mainwindow/frmmain.h"
#include "platform/controls/filelistbox.h"
#include "platform/controls/textbox.h"
#include "support/messageboxes.h"
#include "support/programfolder.h"
#include "support/qtprinters.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

const QString kNotAFile = QStringLiteral("Bitte geben Sie ein Verzeichnis und keine Datei an!");
const QString kNoSuchPath = QStringLiteral("Der angegebene Pfad existiert nicht!");

QString canonical(const QString& path) {
    return QFileInfo(path).canonicalFilePath();
}

class FolderEntryTest : public testsupport::ProgramFolderTest {
protected:
    frmMain& start() {
        frmMain& w = forms().show<frmMain>();
        w.Timer->stop(); // the tests decide when the list is read
        w.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
        return w;
    }
    frmMain& main() { return forms().get<frmMain>(); }

    // Puts the focus into Pfad and types text over its content.
    void type(const QString& text) {
        frmMain& w = main();
        QTest::mouseClick(w.Pfad, Qt::LeftButton);
        EXPECT_TRUE(w.Pfad->hasFocus());
        w.Pfad->selectAll();
        QTest::keyClick(w.Pfad, Qt::Key_Delete);
        QTest::keyClicks(w.Pfad, text);
        EXPECT_EQ(w.Pfad->text(), text);
    }
    void pressTab() { QTest::keyClick(main().Pfad, Qt::Key_Tab); }

    QStringList listed() const {
        QStringList names;
        const platform::FileListBox& list = *const_cast<FolderEntryTest*>(this)->main().Dateiliste;
        for (int i = 0; i < list.ListCount(); ++i)
            names.push_back(list.List(i));
        return names;
    }
    // A folder beside the program's folder with one file in it.
    QString otherFolder(const QString& file = QStringLiteral("x.jpg")) {
        const QString path = other.filePath(QStringLiteral("Bilder"));
        QDir().mkpath(path);
        QFile(path + u'/' + file).open(QIODevice::WriteOnly);
        return path;
    }
    void expectOneMessage(const QString& text) {
        ASSERT_EQ(boxes.count(), 1);
        EXPECT_EQ(boxes.shown()[0].prompt, text);
        EXPECT_EQ(boxes.shown()[0].title, "Fehler");
        EXPECT_EQ(boxes.shown()[0].style, platform::vbCritical + platform::vbOKOnly);
    }
    void expectProgramFolder() {
        EXPECT_EQ(main().Pfad->text(), folder());
        EXPECT_EQ(canonical(main().Dateiliste->Path()), canonical(folder()));
    }

    QTemporaryDir other;
    testsupport::MessageBoxes boxes;
};

TEST_F(FolderEntryTest, AnExistingFolderIsTakenSilently) {
    touch("own.jpg");
    start();
    const QString bilder = otherFolder();
    type(bilder);
    pressTab();
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_EQ(main().Pfad->text(), bilder);
    EXPECT_EQ(main().Dateiliste->Path(), bilder);
    EXPECT_EQ(listed(), QStringList{"x.jpg"});
    EXPECT_TRUE(main().PfadDialog->hasFocus()) << "the focus goes where Tab sent it";
}

TEST_F(FolderEntryTest, ATrailingSeparatorIsKeptInTheText) {
    start();
    const QString bilder = otherFolder() + u'/';
    type(bilder);
    pressTab();
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_EQ(main().Pfad->text(), bilder);
    EXPECT_EQ(listed(), QStringList{"x.jpg"});
}

TEST_F(FolderEntryTest, APictureFileIsRefusedWithTheFirstMessage) {
    touch("own.jpg");
    start();
    const QString picture = otherFolder(QStringLiteral("bild.jpg")) + QStringLiteral("/bild.jpg");
    type(picture);
    // While the box is open the text is still the entry.
    QString textWhileShown;
    boxes.onShow([&](const platform::MessageBoxRequest&) { textWhileShown = main().Pfad->text(); });
    pressTab();
    expectOneMessage(kNotAFile);
    EXPECT_EQ(textWhileShown, picture);
    expectProgramFolder();
    EXPECT_EQ(listed(), QStringList{"own.jpg"});
}

TEST_F(FolderEntryTest, AMissingPathIsRefusedWithTheSecondMessage) {
    start();
    const QString bilder = otherFolder();
    main().Dateiliste->setPath(bilder);
    type(other.filePath(QStringLiteral("gibt-es-nicht")));
    pressTab();
    expectOneMessage(kNoSuchPath);
    expectProgramFolder();
}

TEST_F(FolderEntryTest, APathThroughAFileIsAPathThatDoesNotExist) {
    start();
    const QString file = otherFolder(QStringLiteral("a.jpg")) + QStringLiteral("/a.jpg");
    type(file + QStringLiteral("/unter"));
    pressTab();
    expectOneMessage(kNoSuchPath);
    expectProgramFolder();
}

// A named pipe is no file that can be read (opening it would wait for a writer) and no folder.
TEST_F(FolderEntryTest, ANamedPipeIsNeitherOpenedNorTakenAsAFolder) {
    start();
    const QString pipe = other.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    type(pipe);
    pressTab();
    expectOneMessage(kNoSuchPath);
    expectProgramFolder();
}

TEST_F(FolderEntryTest, AnEmptiedBoxGetsBackTheListsFolderSilently) {
    start();
    const QString bilder = otherFolder();
    main().Dateiliste->setPath(bilder);
    QTest::mouseClick(main().Pfad, Qt::LeftButton);
    main().Pfad->selectAll();
    QTest::keyClick(main().Pfad, Qt::Key_Backspace);
    ASSERT_EQ(main().Pfad->text(), "");
    pressTab();
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_EQ(main().Pfad->text(), bilder);
    EXPECT_EQ(main().Dateiliste->Path(), bilder);
}

TEST_F(FolderEntryTest, AnAccessKeyRunsTheCheckAndTheMessageLeavesTheFocusWhereItWent) {
    start();
    type(other.filePath(QStringLiteral("nichts")));
    QSignalSpy clicked(main().cmd_Save, &QPushButton::clicked);
    QTest::keyClick(main().Pfad, Qt::Key_U, Qt::AltModifier);
    expectOneMessage(kNoSuchPath);
    EXPECT_TRUE(main().cmd_Save->hasFocus());
    QTest::qWait(300); // longer than a button's animated click
    EXPECT_EQ(clicked.count(), 0) << "the refused entry's access key does not convert";
    expectProgramFolder();

    // The next access key is an ordinary one.
    QTest::keyClick(main().cmd_Save, Qt::Key_U, Qt::AltModifier);
    EXPECT_EQ(clicked.count(), 1);
}

TEST_F(FolderEntryTest, AnAcceptedEntryLetsTheAccessKeyClickAtOnce) {
    start();
    type(otherFolder());
    QSignalSpy clicked(main().cmd_Save, &QPushButton::clicked);
    QTest::keyClick(main().Pfad, Qt::Key_U, Qt::AltModifier);
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_EQ(clicked.count(), 1) << "the run starts with the key, not a held-down button later";
}

struct ClickCase {
    const char* name;
    bool refused; // whether the entry is one the check refuses
};
void PrintTo(const ClickCase& c, std::ostream* out) {
    *out << c.name;
}

class ClickAfterEntryTest : public FolderEntryTest,
                            public ::testing::WithParamInterface<ClickCase> {
protected:
    void typeEntry() {
        type(GetParam().refused ? other.filePath(QStringLiteral("nichts")) : otherFolder());
    }
};

TEST_P(ClickAfterEntryTest, Umwandeln) {
    start();
    typeEntry();
    QSignalSpy clicked(main().cmd_Save, &QPushButton::clicked);
    QTest::mouseClick(main().cmd_Save, Qt::LeftButton);
    EXPECT_EQ(boxes.count(), GetParam().refused ? 1 : 0);
    EXPECT_EQ(clicked.count(), GetParam().refused ? 0 : 1);
    // An accepted click ran a conversion; its window hands the focus back once the main window
    // is active again.
    EXPECT_TRUE(QTest::qWaitFor([this] { return main().cmd_Save->hasFocus(); }));
    EXPECT_FALSE(main().cmd_Save->isDown());

    // Once the user has seen the corrected folder, the button works again.
    QCoreApplication::processEvents();
    QTest::mouseClick(main().cmd_Save, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), GetParam().refused ? 1 : 2);
}

TEST_P(ClickAfterEntryTest, Chooser) {
    start();
    typeEntry();
    int opened = 0;
    platform::Forms::setModalHandler([&](QWidget& shown) {
        ++opened;
        EXPECT_EQ(&shown, forms().find<Pfadauswahl>());
        forms().get<Pfadauswahl>().cmdAbbrechen->click();
    });
    QTest::mouseClick(main().PfadDialog, Qt::LeftButton);
    EXPECT_EQ(opened, GetParam().refused ? 0 : 1);
    EXPECT_FALSE(forms().isLoaded<Pfadauswahl>());
    QCoreApplication::processEvents();
    QTest::mouseClick(main().PfadDialog, Qt::LeftButton);
    EXPECT_EQ(opened, GetParam().refused ? 1 : 2);
}

INSTANTIATE_TEST_SUITE_P(Entries, ClickAfterEntryTest,
                         ::testing::Values(ClickCase{"Refused", true},
                                           ClickCase{"Accepted", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// A real message box is a window of its own that has the focus while it is open.
TEST_F(FolderEntryTest, TheClickIsStoppedThoughTheMessageBoxTookTheFocus) {
    start();
    type(other.filePath(QStringLiteral("nichts")));
    boxes.onShow([](const platform::MessageBoxRequest&) {
        QLineEdit box;
        box.show();
        box.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&box));
        box.setFocus();
        EXPECT_EQ(QApplication::focusWidget(), &box);
    });
    QSignalSpy clicked(main().cmd_Save, &QPushButton::clicked);
    QTest::mouseClick(main().cmd_Save, Qt::LeftButton);
    EXPECT_EQ(boxes.count(), 1);
    EXPECT_EQ(clicked.count(), 0);
}

TEST_F(FolderEntryTest, AButtonReachedByTabIsNotHeldBackLater) {
    start();
    type(other.filePath(QStringLiteral("nichts")));
    QTest::keyClick(main().Pfad, Qt::Key_Tab);
    ASSERT_EQ(boxes.count(), 1);
    ASSERT_TRUE(main().PfadDialog->hasFocus());
    QCoreApplication::processEvents();
    int opened = 0;
    platform::Forms::setModalHandler([&](QWidget&) {
        ++opened;
        forms().get<Pfadauswahl>().cmdAbbrechen->click();
    });
    QTest::mouseClick(main().PfadDialog, Qt::LeftButton);
    EXPECT_EQ(opened, 1);
}

TEST_F(FolderEntryTest, OpeningAMenuDoesNotRunTheCheck) {
    start();
    const QString entry = other.filePath(QStringLiteral("nichts"));
    type(entry);
    QMenu& menu = *main().mnuDatei;
    QTimer::singleShot(0, &menu, [&] {
        EXPECT_TRUE(menu.isVisible());
        EXPECT_EQ(boxes.count(), 0);
        menu.close();
    });
    main().menuBar()->setActiveAction(menu.menuAction());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !menu.isVisible(); }));
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_EQ(main().Pfad->text(), entry);
    // Back in the window the box still holds the focus, and the check runs when it goes on.
    QApplication::setActiveWindow(&main());
    EXPECT_TRUE(main().Pfad->hasFocus());
    EXPECT_EQ(boxes.count(), 0);
    pressTab();
    expectOneMessage(kNoSuchPath);
}

TEST_F(FolderEntryTest, TheMenuBarTakingTheFocusDoesNotRunTheCheckButLeavingItForAControlDoes) {
    start();
    const QString entry = other.filePath(QStringLiteral("nichts"));
    type(entry);
    main().menuBar()->setFocus(Qt::MenuBarFocusReason);
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_EQ(main().Pfad->text(), entry);
    QSignalSpy clicked(main().cmd_Save, &QPushButton::clicked);
    QTest::mouseClick(main().cmd_Save, Qt::LeftButton);
    expectOneMessage(kNoSuchPath);
    EXPECT_EQ(clicked.count(), 0);
}

TEST_F(FolderEntryTest, ActivatingAnotherWindowDoesNotRunTheCheck) {
    start();
    const QString entry = other.filePath(QStringLiteral("nichts"));
    type(entry);
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    EXPECT_EQ(boxes.count(), 0);
    main().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main()));
    EXPECT_TRUE(main().Pfad->hasFocus());
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_EQ(main().Pfad->text(), entry);
    // It runs when the focus goes on to a control.
    pressTab();
    expectOneMessage(kNoSuchPath);
}

TEST_F(FolderEntryTest, ClosingTheWindowDoesNotRunTheCheck) {
    start();
    const QString entry = other.filePath(QStringLiteral("nichts"));
    type(entry);
    main().close();
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_EQ(ended(), 1);
    EXPECT_EQ(readIni()["Other/Path"], entry) << "the close step writes the text as it stands";
}

// Drops as a file manager makes them.
class DropTest : public FolderEntryTest {
protected:
    // Drags data over Pfad; true when Pfad accepts the drag.
    bool dragOver(const QMimeData& data) {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(main().Pfad, &enter);
        return enter.isAccepted();
    }
    bool drop(const QMimeData& data) {
        QDropEvent event(QPointF(5, 5), Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(main().Pfad, &event);
        return event.isAccepted();
    }
    static void setFiles(QMimeData& data, const QStringList& paths) {
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls.push_back(QUrl::fromLocalFile(path));
        data.setUrls(urls);
    }
};

TEST_F(DropTest, TheFirstOfSeveralFilesBecomesTheTextAndTheListWaitsForTheLostFocus) {
    touch("own.jpg");
    start();
    const QString bilder = otherFolder();
    QMimeData data;
    setFiles(data, {bilder, other.filePath(QStringLiteral("zweite.jpg"))});
    QTest::mouseClick(main().Dateiname, Qt::LeftButton); // another control has the focus
    EXPECT_TRUE(dragOver(data));
    EXPECT_TRUE(drop(data));
    EXPECT_EQ(main().Pfad->text(), bilder);
    EXPECT_EQ(listed(), QStringList{"own.jpg"});
    EXPECT_EQ(boxes.count(), 0);

    // The lost focus that follows a focus in Pfad takes it.
    QTest::mouseClick(main().Pfad, Qt::LeftButton);
    EXPECT_EQ(listed(), QStringList{"own.jpg"});
    pressTab();
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_EQ(listed(), QStringList{"x.jpg"});
}

TEST_F(DropTest, ADroppedPictureFileIsRefusedAtTheNextLostFocus) {
    start();
    const QString picture = otherFolder() + QStringLiteral("/x.jpg");
    QMimeData data;
    setFiles(data, {picture});
    QTest::mouseClick(main().Pfad, Qt::LeftButton);
    EXPECT_TRUE(dragOver(data));
    EXPECT_TRUE(drop(data));
    EXPECT_EQ(main().Pfad->text(), picture);
    EXPECT_EQ(boxes.count(), 0);
    pressTab();
    expectOneMessage(kNotAFile);
    expectProgramFolder();
}

TEST_F(DropTest, DroppedTextIsNeitherAcceptedNorInserted) {
    start();
    const QString before = main().Pfad->text();
    QMimeData data;
    data.setText(otherFolder());
    EXPECT_FALSE(dragOver(data));
    EXPECT_FALSE(drop(data));
    EXPECT_EQ(main().Pfad->text(), before);
}

TEST_F(DropTest, OnlyLocalFilesCount) {
    start();
    const QString before = main().Pfad->text();
    QMimeData remote;
    remote.setUrls({QUrl(QStringLiteral("https://example.org/bild.jpg"))});
    remote.setText(QStringLiteral("https://example.org/bild.jpg"));
    EXPECT_FALSE(dragOver(remote));
    EXPECT_FALSE(drop(remote));
    EXPECT_EQ(main().Pfad->text(), before);

    QMimeData mixed;
    const QString bilder = otherFolder();
    mixed.setUrls(
        {QUrl(QStringLiteral("https://example.org/bild.jpg")), QUrl::fromLocalFile(bilder)});
    EXPECT_TRUE(dragOver(mixed));
    EXPECT_TRUE(drop(mixed));
    EXPECT_EQ(main().Pfad->text(), bilder);
}

} // namespace
