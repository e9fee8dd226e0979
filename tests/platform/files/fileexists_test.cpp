#include "platform/files/fileexists.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using platform::FileExists;

TEST(FileExistsTest, OnlyExistingFilesCount) {
    QTemporaryDir dir;
    const QString file = dir.filePath("MSINFO32.EXE");
    QFile created(file);
    ASSERT_TRUE(created.open(QIODevice::WriteOnly));
    created.close();
    ASSERT_TRUE(QFile::link(file, dir.filePath("link")));
    ASSERT_TRUE(QFile::link(dir.filePath("gone"), dir.filePath("dangling")));

    EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(FileExists(dir.filePath("link")));
    EXPECT_FALSE(FileExists(dir.filePath("msinfo32.exe"))) << "file names keep their case here";
    EXPECT_FALSE(FileExists(dir.filePath("dangling")));
    EXPECT_FALSE(FileExists(dir.path()));
    EXPECT_FALSE(FileExists(dir.filePath("missing/MSINFO32.EXE")));
    EXPECT_FALSE(FileExists(file + "/MSINFO32.EXE"));
    EXPECT_FALSE(FileExists(QString()));
}
