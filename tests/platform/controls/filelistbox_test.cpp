#include "platform/controls/filelistbox.h"
#include "platform/errors/runtimeerror.h"
#include "platform/files/filenames.h"
#include "support/errornumber.h"
#include "support/qtprinters.h"
#include "support/scratchfilesystem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using platform::FileListBox;
using testsupport::errorNumber;

namespace {

QStringList entries(const FileListBox& list) {
    QStringList names;
    for (int i = 0; i < list.ListCount(); ++i)
        names.push_back(list.List(i));
    return names;
}

class FileList : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString folder = dir.path();

    std::string encoded(const QString& name) const {
        return QFile::encodeName(folder + QLatin1Char('/') + name).toStdString();
    }
    void touch(const QString& name) const {
        QFile file(folder + QLatin1Char('/') + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
    }
    void touch(const QStringList& names) const {
        for (const QString& name : names)
            touch(name);
    }
    // The entries a list shows for the folder and pattern.
    QStringList listed(const QString& pattern) const {
        FileListBox list;
        list.setPath(folder);
        list.setPattern(pattern);
        return entries(list);
    }
};

TEST_F(FileList, MatchesExtensionsWithoutRegardToCase) {
    touch({"a.JPG", "b.jpg", "c.Jpg", "d.jpeg", "e.png", "jpg"});
    EXPECT_EQ(listed(QStringLiteral("*.jpg")), (QStringList{"a.JPG", "b.jpg", "c.Jpg"}));
}

TEST_F(FileList, StarDotStarListsEveryFileWithOrWithoutADot) {
    touch({"README", "000", "x.y.z", "Foto.jpg"});
    EXPECT_EQ(listed(QStringLiteral("*.*")), (QStringList{"000", "Foto.jpg", "README", "x.y.z"}));
}

TEST_F(FileList, SeveralFragmentsMatchOnlyTheirTypes) {
    touch({"a.jpg", "b.BMP", "c.gif", "d.dib", "e.jpg.txt"});
    EXPECT_EQ(listed(QStringLiteral("*.jpg;*.bmp")), (QStringList{"a.jpg", "b.BMP"}));
    EXPECT_EQ(listed(QStringLiteral("*.gif;*.bmp;*.dib")),
              (QStringList{"b.BMP", "c.gif", "d.dib"}));
}

TEST_F(FileList, OnlyVisibleRegularFilesCount) {
    touch({"real.jpg", ".hidden.jpg", "target.txt"});
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("folder.jpg")));
    ASSERT_EQ(::mkfifo(encoded(QStringLiteral("fifo.jpg")).c_str(), 0644), 0);
    const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(socket, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = encoded(QStringLiteral("socket.jpg"));
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(socket);
    const bool device = ::mknod(encoded(QStringLiteral("device.jpg")).c_str(), S_IFCHR | 0600,
                                makedev(1, 3)) == 0; // like /dev/null; refused in some containers
    ASSERT_EQ(::symlink("target.txt", encoded(QStringLiteral("link.jpg")).c_str()), 0);
    ASSERT_EQ(::symlink("folder.jpg", encoded(QStringLiteral("folderlink.jpg")).c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", encoded(QStringLiteral("dangling.jpg")).c_str()), 0);

    EXPECT_EQ(listed(QStringLiteral("*.jpg")), (QStringList{"link.jpg", "real.jpg"}))
        << (device ? "with a device" : "without a device");
}

TEST_F(FileList, SortsWithoutRegardToCaseAndBreaksTiesByTheExactName) {
    // Created in two different orders, listed in one.
    const QStringList names{"b.JPG", "a.jpg", "_x.jpg", "A.jpg", "B.jpg", "a0.jpg"};
    const QStringList sorted{"_x.jpg", "A.jpg", "a.jpg", "a0.jpg", "B.jpg", "b.JPG"};
    touch(names);
    EXPECT_EQ(listed(QStringLiteral("*.jpg")), sorted);
    QTemporaryDir other;
    folder = other.path();
    for (auto name = names.crbegin(); name != names.crend(); ++name)
        touch(*name);
    EXPECT_EQ(listed(QStringLiteral("*.jpg")), sorted);
}

TEST_F(FileList, NamesBeyondAsciiAreListedAndSorted) {
    touch({QStringLiteral("\u00dcbung.jpg"), QStringLiteral("\u00fcber.JPG"),
           QStringLiteral("Zebra.jpg"), QStringLiteral("\u00e4rger.jpg")});
    EXPECT_EQ(listed(QStringLiteral("*.jpg")),
              (QStringList{QStringLiteral("Zebra.jpg"), QStringLiteral("\u00e4rger.jpg"),
                           QStringLiteral("\u00fcber.JPG"), QStringLiteral("\u00dcbung.jpg")}));
    EXPECT_EQ(listed(QStringLiteral("\u00dc*")),
              (QStringList{QStringLiteral("\u00fcber.JPG"), QStringLiteral("\u00dcbung.jpg")}));
    // Names that are no UTF-8 (malformed ones too) are offered with their very bytes, and matched
    // as the user reads them.
    const QByteArray bad[] = {"bad\x80\xFF.jpg", "\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80\xE2\x82"};
    const auto at = [&](const QByteArray& name) { return QFile::encodeName(folder + '/') + name; };
    for (const QByteArray& name : bad)
        ASSERT_EQ(::close(::open(at(name).constData(), O_CREAT | O_WRONLY, 0644)), 0);
    EXPECT_EQ(listed(QStringLiteral("*€Ÿ.JPG")), QStringList{platform::decodeName(bad[0])});
    EXPECT_EQ(platform::encodeName(listed(QStringLiteral("\u00c0*")).value(0)), bad[1]);
    for (const QByteArray& name : bad)
        ::unlink(at(name).constData()); // QTemporaryDir cannot find it
}

TEST_F(FileList, ShowsFilesThatAppearOrVanishAtTheNextRefresh) {
    FileListBox list;
    list.setPath(folder);
    list.setPattern(QStringLiteral("*.jpg"));
    EXPECT_EQ(list.ListCount(), 0);
    // Many changes in quick succession: several fall into the same tick of the file system's clock.
    QStringList expected;
    for (int i = 0; i < 60; ++i) {
        const QString name = QStringLiteral("f%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
        touch(name);
        EXPECT_EQ(entries(list), expected) << "before the refresh the list is as it was read";
        expected.push_back(name);
        list.Refresh();
        ASSERT_EQ(entries(list), expected) << "after creating " << name.toStdString();
        if (i % 3 == 2) {
            ASSERT_TRUE(QFile::remove(folder + QLatin1Char('/') + expected.takeFirst()));
            list.Refresh();
            ASSERT_EQ(entries(list), expected) << "after a removal";
        }
        list.Refresh();
        ASSERT_EQ(entries(list), listed(QStringLiteral("*.jpg"))) << "as a full reading shows";
    }
}

TEST(FileListOnACoarseClock, SeesChangesWithinOneTickOfTheFileSystemsClock) {
    // ramfs stamps times with the kernel's coarse clock: a change right after a reading mostly
    // leaves the folder's time stamps exactly as they were.
    testsupport::onFileSystem(QStringLiteral("ramfs"), {}, [](const QString& folder) {
        FileListBox list;
        list.setPath(folder);
        for (int i = 0; i < 100; ++i) {
            const QString name = QStringLiteral("f%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
            QFile(folder + QLatin1Char('/') + name).open(QIODevice::WriteOnly);
            list.Refresh();
            ASSERT_EQ(list.ListCount(), i + 1) << "after creating " << name.toStdString();
            ASSERT_EQ(list.List(i), name);
        }
        for (int i = 99; i >= 0; --i) {
            ASSERT_TRUE(
                QFile::remove(folder + QStringLiteral("/f%1.jpg").arg(i, 3, 10, QLatin1Char('0'))));
            list.Refresh();
            ASSERT_EQ(list.ListCount(), i) << "after removing a file";
        }
    });
}

TEST_F(FileList, FollowsAFolderThatVanishesAndComesBack) {
    const QString sub = folder + QStringLiteral("/sub");
    ASSERT_TRUE(QDir().mkdir(sub));
    FileListBox list;
    list.setPath(sub);
    QFile(sub + QStringLiteral("/a.jpg")).open(QIODevice::WriteOnly);
    list.Refresh();
    EXPECT_EQ(list.ListCount(), 1);
    ASSERT_TRUE(QDir(sub).removeRecursively());
    list.Refresh();
    EXPECT_EQ(list.ListCount(), 0);
    EXPECT_EQ(list.Path(), sub);
    ASSERT_TRUE(QDir().mkdir(sub));
    QFile(sub + QStringLiteral("/b.jpg")).open(QIODevice::WriteOnly);
    list.Refresh();
    EXPECT_EQ(entries(list), QStringList{"b.jpg"});
}

TEST_F(FileList, ASettledFolderIsWatchedThroughItsLinksToo) {
    // Once the folder's time stamps are well in the past, a refresh reads it only on a change;
    // a link whose target vanishes elsewhere changes nothing in the folder itself.
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath(QStringLiteral("target.jpg"));
    QFile(target).open(QIODevice::WriteOnly);
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(),
                        encoded(QStringLiteral("link.jpg")).c_str()),
              0);
    touch(QStringLiteral("plain.jpg"));
    FileListBox list;
    list.setPath(folder);
    EXPECT_EQ(entries(list), (QStringList{"link.jpg", "plain.jpg"}));
    QThread::msleep(3200);
    list.Refresh();
    list.Refresh();
    EXPECT_EQ(entries(list), (QStringList{"link.jpg", "plain.jpg"}));
    ASSERT_TRUE(QFile::remove(target));
    list.Refresh();
    EXPECT_EQ(entries(list), QStringList{"plain.jpg"});
    touch(QStringLiteral("new.jpg"));
    list.Refresh();
    EXPECT_EQ(entries(list), (QStringList{"new.jpg", "plain.jpg"}));
}

TEST_F(FileList, AFolderThatDoesNotExistRaises76AndKeepsTheOldOne) {
    touch(QStringLiteral("a.jpg"));
    FileListBox list;
    list.setPath(folder);
    const QString file = folder + QStringLiteral("/a.jpg");
    for (const QString& bad :
         {folder + QStringLiteral("/missing"), file, file + QStringLiteral("/below"), QString()}) {
        EXPECT_EQ(errorNumber([&] { list.setPath(bad); }), platform::ErrPathNotFound)
            << bad.toStdString();
        EXPECT_EQ(list.Path(), folder);
        EXPECT_EQ(entries(list), QStringList{"a.jpg"});
    }
}

TEST_F(FileList, PathIsAbsoluteAndClean) {
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("sub")));
    FileListBox list;
    list.setPath(folder + QStringLiteral("/sub/./../sub/"));
    EXPECT_EQ(list.Path(), folder + QStringLiteral("/sub"));
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder));
    list.setPath(QStringLiteral("sub"));
    FileListBox fresh;
    ASSERT_TRUE(QDir::setCurrent(previous));
    EXPECT_EQ(list.Path(), folder + QStringLiteral("/sub"));
    EXPECT_EQ(fresh.Path(), folder) << "a new list holds the working directory";
    EXPECT_EQ(fresh.Pattern(), QStringLiteral("*.*"));
    list.setPath(QStringLiteral("/"));
    EXPECT_EQ(list.Path(), QStringLiteral("/"));
}

TEST_F(FileList, AnEmptyPatternListsNothing) {
    touch({"a.jpg", "README"});
    EXPECT_EQ(listed(QString()), QStringList{});
    EXPECT_EQ(listed(QStringLiteral(";")), QStringList{});
}

TEST_F(FileList, AnIndexOutsideTheListRaises9) {
    touch({"a.jpg", "b.jpg"});
    FileListBox list;
    list.setPath(folder);
    EXPECT_EQ(list.List(1), QStringLiteral("b.jpg"));
    for (const int index : {-1, 2, 1 << 30})
        EXPECT_EQ(errorNumber([&] { list.List(index); }), platform::ErrSubscriptOutOfRange)
            << index;
    list.setPattern(QString());
    EXPECT_EQ(errorNumber([&] { list.List(0); }), platform::ErrSubscriptOutOfRange);
}

TEST(FileListOfManyFiles, HoldsMoreThan32767Files) {
    // Tens of thousands of files are made far faster in memory than on a journalling disk.
    const QString shm = QStringLiteral("/dev/shm");
    QTemporaryDir dir(QFileInfo(shm).isDir()
                          ? shm + QStringLiteral("/kalmora-XXXXXX")
                          : QDir::tempPath() + QStringLiteral("/kalmora-XXXXXX"));
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path();
    constexpr int count = 33000;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/f%05d.jpg", i);
        const int fd =
            ::open((QFile::encodeName(folder) + name).constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    FileListBox list;
    list.setPath(folder);
    ASSERT_EQ(list.ListCount(), count);
    EXPECT_EQ(list.List(32767), QStringLiteral("f32767.jpg"));
    EXPECT_EQ(list.List(32768), QStringLiteral("f32768.jpg"));
    EXPECT_EQ(list.List(count - 1), QStringLiteral("f32999.jpg"));
}

} // namespace
