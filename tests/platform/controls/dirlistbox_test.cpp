// The directory list: its entries, its path, and how clicks and keys navigate.
#include "platform/controls/dirlistbox.h"
#include "platform/errors/runtimeerror.h"
#include "support/errornumber.h"
#include "support/fakemounts.h"
#include "support/qtprinters.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using platform::DirListBox;

using testsupport::errorNumber;

// A double click as the window system delivers it: press, release, double click, release.
void doubleClick(QWidget* widget, const QPoint& at) {
    QTest::mousePress(widget, Qt::LeftButton, {}, at);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, at);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
}

class DirListBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        list.resize(300, 400);
        list.show();
    }
    QString mkdir(const QString& name) const {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(QDir().mkpath(path));
        return path;
    }
    void touch(const QString& name) const {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QRect rectOf(int index) const { return list.visualItemRect(list.item(index + opened())); }
    int opened() const { return list.count() - list.ListCount(); }

    QTemporaryDir dir;
    DirListBox list;
};

TEST_F(DirListBoxTest, ANewListHasTheWorkingDirectoryOpened) {
    EXPECT_EQ(list.Path(), QDir::cleanPath(QDir::currentPath()));
    EXPECT_EQ(list.List(-1), list.Path());
    EXPECT_EQ(list.ListIndex(), -1);
}

TEST_F(DirListBoxTest, ShowsTheAncestorsAndTheSortedSubfolders) {
    const testsupport::FakeMounts mounts({{"/", "ext4"}}); // the tree starts at its drive
    const QString root = mkdir("a/B");
    mkdir("a/B/zeta");
    mkdir("a/B/Alpha");
    mkdir("a/B/beta");
    mkdir("a/B/alpha");
    mkdir("a/B/.versteckt");
    touch("a/B/datei.jpg");
    ASSERT_EQ(::symlink("beta", QFile::encodeName(root + "/link").constData()), 0);
    ASSERT_EQ(::symlink("datei.jpg", QFile::encodeName(root + "/dateilink").constData()), 0);
    ASSERT_EQ(::symlink("fehlt", QFile::encodeName(root + "/tot").constData()), 0);
    list.setPath(root);

    EXPECT_EQ(list.Path(), root);
    EXPECT_EQ(list.ListCount(), 5);
    const QStringList parts = root.split(u'/', Qt::SkipEmptyParts);
    ASSERT_EQ(opened(), parts.size() + 1);
    EXPECT_EQ(list.List(-opened()), "/");
    EXPECT_EQ(list.item(0)->text(), "/");
    EXPECT_EQ(list.List(-2), dir.filePath("a"));
    EXPECT_EQ(list.item(opened() - 1)->text(), "B");
    const QStringList names = {"Alpha", "alpha", "beta", "link", "zeta"};
    for (int i = 0; i < names.size(); ++i) {
        EXPECT_EQ(list.List(i), root + u'/' + names[i]);
        EXPECT_EQ(list.item(opened() + i)->text(), names[i]);
    }
    EXPECT_EQ(list.ListIndex(), -1) << "the opened folder is highlighted";
    EXPECT_EQ(errorNumber([&] { list.List(5); }), platform::ErrSubscriptOutOfRange);
    EXPECT_EQ(errorNumber([&] { list.List(-opened() - 1); }), platform::ErrSubscriptOutOfRange);
}

TEST_F(DirListBoxTest, SubfoldersAreIndentedOneStepBelowTheOpenedFolder) {
    const QString root = mkdir("x/y");
    mkdir("x/y/z");
    list.setPath(root);
    const int opened = this->opened();
    const QRect top = rectOf(-opened);
    const QRect current = rectOf(-1);
    const QRect child = rectOf(0);
    auto* delegate = list.itemDelegate();
    QStyleOptionViewItem option;
    option.initFrom(&list);
    const int rootWidth = delegate->sizeHint(option, list.model()->index(0, 0)).width();
    const int childWidth = delegate->sizeHint(option, list.model()->index(opened, 0)).width();
    EXPECT_EQ(top.left(), current.left());
    EXPECT_GT(childWidth, rootWidth) << "deeper entries take more room";
    EXPECT_GT(child.top(), current.top());
}

TEST_F(DirListBoxTest, TheRootHasNoAncestors) {
    list.setPath(QStringLiteral("/"));
    EXPECT_EQ(list.Path(), "/");
    EXPECT_EQ(opened(), 1);
    ASSERT_GT(list.ListCount(), 0);
    EXPECT_FALSE(list.List(0).startsWith("//"));
}

TEST_F(DirListBoxTest, PathsAreCleanedAndRelativeOnesCountFromTheWorkingDirectory) {
    const QString root = mkdir("p/q");
    list.setPath(root + "/");
    EXPECT_EQ(list.Path(), root);
    list.setPath(root + "/../q/./");
    EXPECT_EQ(list.Path(), root);
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    list.setPath(QStringLiteral("p"));
    QDir::setCurrent(saved);
    EXPECT_EQ(list.Path(), QDir::cleanPath(dir.filePath("p")));
}

TEST_F(DirListBoxTest, AFolderThatIsNotThereFailsAndTheListStays) {
    const QString root = mkdir("da");
    touch("datei");
    list.setPath(root);
    QSignalSpy changes(&list, &DirListBox::Change);
    EXPECT_EQ(errorNumber([&] { list.setPath(dir.filePath("fehlt")); }), platform::ErrPathNotFound);
    EXPECT_EQ(errorNumber([&] { list.setPath(dir.filePath("datei")); }), platform::ErrPathNotFound);
    EXPECT_EQ(errorNumber([&] { list.setPath(dir.filePath("datei/x")); }),
              platform::ErrPathNotFound);
    EXPECT_EQ(errorNumber([&] { list.setPath(QString()); }), platform::ErrPathNotFound);
    EXPECT_EQ(list.Path(), root);
    EXPECT_EQ(changes.count(), 0);
}

TEST_F(DirListBoxTest, ADrivesTextOpensItsCurrentFolder) {
    QTemporaryDir other;
    testsupport::FakeMounts mounts({{"/", "ext4"}, {dir.path(), "xfs"}, {other.path(), "vfat"}});
    mkdir("unter");
    list.setPath(dir.path() + " [xfs]");
    EXPECT_EQ(list.Path(), dir.path());
    EXPECT_EQ(list.List(0), dir.filePath("unter"));
    list.setPath(QStringLiteral("/ [ext4]"));
    EXPECT_EQ(list.Path(), QDir::cleanPath(QDir::currentPath())) << "the working directory's drive";

    // A drive whose mount point has gone is not ready.
    const QString vanished = other.path() + " [vfat]";
    other.remove();
    EXPECT_EQ(errorNumber([&] { list.setPath(vanished); }), platform::ErrDeviceUnavailable);
    EXPECT_EQ(list.Path(), QDir::cleanPath(QDir::currentPath()));
}

TEST_F(DirListBoxTest, ASingleClickOnlyHighlightsADoubleClickOpens) {
    const QString root = mkdir("k");
    mkdir("k/eins");
    mkdir("k/zwei");
    list.setPath(root);
    QSignalSpy changes(&list, &DirListBox::Change);

    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, rectOf(1).center());
    EXPECT_EQ(list.ListIndex(), 1);
    EXPECT_EQ(list.Path(), root);
    EXPECT_EQ(changes.count(), 0);

    doubleClick(list.viewport(), rectOf(1).center());
    EXPECT_EQ(list.Path(), root + "/zwei");
    EXPECT_EQ(list.ListIndex(), -1);
    EXPECT_EQ(list.ListCount(), 0);
    EXPECT_EQ(changes.count(), 1);

    // Up again by a double click on the parent.
    doubleClick(list.viewport(), rectOf(-2).center());
    EXPECT_EQ(list.Path(), root);
    EXPECT_EQ(changes.count(), 2);
}

TEST_F(DirListBoxTest, EnterOpensTheHighlightedEntryAndArrowsOnlyMoveTheHighlight) {
    const QString root = mkdir("t");
    mkdir("t/a");
    mkdir("t/b");
    list.setPath(root);
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Down);
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(list.ListIndex(), 1);
    EXPECT_EQ(list.Path(), root);
    QTest::keyClick(&list, Qt::Key_Return);
    EXPECT_EQ(list.Path(), root + "/b");
}

TEST_F(DirListBoxTest, AFolderThatVanishedBeforeItsDoubleClickIsDroppedFromTheList) {
    const QString root = mkdir("v");
    mkdir("v/weg");
    mkdir("v/bleibt");
    list.setPath(root);
    ASSERT_EQ(list.List(1), root + "/weg");
    const QRect weg = rectOf(1);
    ASSERT_TRUE(QDir(root + "/weg").removeRecursively());
    doubleClick(list.viewport(), weg.center());
    EXPECT_EQ(list.Path(), root);
    EXPECT_EQ(list.ListCount(), 1);
    EXPECT_EQ(list.List(0), root + "/bleibt");
}

TEST_F(DirListBoxTest, SettingThePathAgainOrRefreshingReadsTheFolderAnew) {
    const QString root = mkdir("r");
    list.setPath(root);
    EXPECT_EQ(list.ListCount(), 0);
    mkdir("r/neu");
    list.Refresh();
    EXPECT_EQ(list.ListCount(), 1);
    mkdir("r/noch");
    QSignalSpy changes(&list, &DirListBox::Change);
    list.setPath(root);
    EXPECT_EQ(list.ListCount(), 2);
    EXPECT_EQ(changes.count(), 0) << "the path did not change";
}

TEST_F(DirListBoxTest, ListIndexMovesTheHighlightWithinTheEntries) {
    const QString root = mkdir("i");
    mkdir("i/a");
    list.setPath(root);
    list.setListIndex(0);
    EXPECT_EQ(list.ListIndex(), 0);
    list.setListIndex(-2);
    EXPECT_EQ(list.ListIndex(), -2);
    EXPECT_EQ(errorNumber([&] { list.setListIndex(1); }), platform::ErrInvalidPropertyValue);
    EXPECT_EQ(errorNumber([&] { list.setListIndex(-opened() - 1); }),
              platform::ErrInvalidPropertyValue);
    EXPECT_EQ(list.Path(), root);
}

} // namespace
