#include "platform/errors/runtimeerror.h"
#include "platform/picture/picturefile.h"
#include "support/errornumber.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using platform::readPictureFile;

namespace {

class PictureFile : public testing::Test {
protected:
    QString path(const QString& name) const { return dir.filePath(name); }
    void write(const QString& name, const QByteArray& content) const {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    static QByteArray read(const QString& file) {
        const auto bytes = readPictureFile(file);
        return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                          static_cast<qsizetype>(bytes.size()));
    }
    static int errorOf(const QString& file) {
        return testsupport::errorNumber([&] { readPictureFile(file); });
    }

    QTemporaryDir dir;
};

TEST_F(PictureFile, ReadsTheWholeFileEachTimeAfresh) {
    const QByteArray big = "BM" + QByteArray(300000, 'x');
    write("big.bmp", big);
    write("small.bmp", "BMsmall");
    EXPECT_EQ(read(path("big.bmp")), big);
    EXPECT_EQ(read(path("small.bmp")), "BMsmall");
    EXPECT_EQ(read(path("big.bmp")), big);
}

TEST_F(PictureFile, ReadsNamesBeyondAscii) {
    write(QStringLiteral("Föto – ß.jpg"), "BMcontent");
    EXPECT_EQ(read(path(QStringLiteral("Föto – ß.jpg"))), "BMcontent");
}

// Bytes this process has read from files so far.
long bytesRead() {
    std::string key;
    long value = 0;
    for (std::ifstream io("/proc/self/io"); io >> key >> value && key != "rchar:";) {
    }
    return value;
}

TEST_F(PictureFile, WhatIsNoPictureOrTooLargeForOneIsRefusedAfterItsFirstBytes) {
    write("empty.jpg", {});
    EXPECT_EQ(errorOf(path("empty.jpg")), platform::ErrInvalidPicture);
    // Sparse files: a 2 GB video and a 3 GB file that starts like a PNG.
    const QByteArray video = QByteArray::fromHex("00000018667479706d7034320000000069736f6d");
    for (const auto& [head, size] :
         {std::pair{video, 2LL << 30}, {QByteArray("\x89PNG\r\n\x1A\n"), 3LL << 30}}) {
        write("big", head);
        ASSERT_EQ(::truncate(qPrintable(path("big")), size), 0);
        const long before = bytesRead();
        EXPECT_EQ(errorOf(path("big")), platform::ErrInvalidPicture);
        EXPECT_LT(bytesRead() - before, 64 << 10);
    }
}

TEST_F(PictureFile, MissingFilesAreNotFound) {
    write("file", "x");
    ASSERT_EQ(::symlink(qPrintable(path("gone")), qPrintable(path("dangling.jpg"))), 0);
    EXPECT_EQ(errorOf(path("missing.jpg")), platform::ErrFileNotFound);
    EXPECT_EQ(errorOf(path("no folder/a.jpg")), platform::ErrFileNotFound);
    EXPECT_EQ(errorOf(path("file/a.jpg")), platform::ErrFileNotFound);
    EXPECT_EQ(errorOf(path("dangling.jpg")), platform::ErrFileNotFound);
    EXPECT_EQ(errorOf({}), platform::ErrFileNotFound);
}

TEST_F(PictureFile, WhatIsNoRegularFileCannotBeRead) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.jpg"));
    ASSERT_EQ(::mkfifo(qPrintable(path("pipe.jpg")), 0600), 0);
    ASSERT_EQ(::symlink(qPrintable(path("loop2.jpg")), qPrintable(path("loop1.jpg"))), 0);
    ASSERT_EQ(::symlink(qPrintable(path("loop1.jpg")), qPrintable(path("loop2.jpg"))), 0);
    EXPECT_EQ(errorOf(path("folder.jpg")), platform::ErrPathFileAccess);
    EXPECT_EQ(errorOf(path("pipe.jpg")), platform::ErrPathFileAccess); // without waiting
    EXPECT_EQ(errorOf(path("loop1.jpg")), platform::ErrPathFileAccess);
    EXPECT_EQ(errorOf("/dev/zero"), platform::ErrPathFileAccess);
}

} // namespace
