// The open-for-reading test of a path: only regular files open, and nothing else is touched.
#include "platform/errors/runtimeerror.h"
#include "platform/files/openforreading.h"
#include "support/errornumber.h"

#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

int errorNumber(const QString& path) {
    return testsupport::errorNumber([&] { platform::OpenForReading(path); });
}

class OpenForReadingTest : public ::testing::Test {
protected:
    QString make(const QString& name, const QByteArray& content = "x") const {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }
    QByteArray encoded(const QString& name) const { return QFile::encodeName(dir.filePath(name)); }

    QTemporaryDir dir;
};

TEST_F(OpenForReadingTest, RegularFilesOpenEvenWhenEmpty) {
    EXPECT_EQ(errorNumber(make("bild.jpg")), 0);
    EXPECT_EQ(errorNumber(make("leer", "")), 0);
    EXPECT_EQ(errorNumber(make("mit Leerzeichen ü.gif")), 0);
}

TEST_F(OpenForReadingTest, ALinkCountsByWhatItLeadsTo) {
    make("ziel.jpg");
    ASSERT_EQ(::symlink("ziel.jpg", encoded("link.jpg").constData()), 0);
    ASSERT_EQ(::symlink(".", encoded("ordnerlink").constData()), 0);
    ASSERT_EQ(::symlink("fehlt", encoded("tot").constData()), 0);
    EXPECT_EQ(errorNumber(dir.filePath("link.jpg")), 0);
    EXPECT_EQ(errorNumber(dir.filePath("ordnerlink")), platform::ErrPathFileAccess);
    EXPECT_EQ(errorNumber(dir.filePath("tot")), platform::ErrFileNotFound);
}

TEST_F(OpenForReadingTest, WhatIsNotARegularFileIsRefusedWithoutBeingOpened) {
    EXPECT_EQ(errorNumber(dir.path()), platform::ErrPathFileAccess);
    EXPECT_EQ(errorNumber(dir.path() + "/"), platform::ErrPathFileAccess);
    // A pipe without a writer would block a plain open for reading.
    ASSERT_EQ(::mkfifo(encoded("pipe").constData(), 0600), 0);
    EXPECT_EQ(errorNumber(dir.filePath("pipe")), platform::ErrPathFileAccess);
    EXPECT_EQ(errorNumber(QStringLiteral("/dev/null")), platform::ErrPathFileAccess);

    const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(socket, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = encoded("sock");
    ASSERT_LT(socketPath.size(), static_cast<qsizetype>(sizeof(address.sun_path)));
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    ASSERT_EQ(::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    EXPECT_EQ(errorNumber(dir.filePath("sock")), platform::ErrPathFileAccess);
    ::close(socket);
}

TEST_F(OpenForReadingTest, MissingFilesAndPaths) {
    EXPECT_EQ(errorNumber(dir.filePath("fehlt.jpg")), platform::ErrFileNotFound);
    EXPECT_EQ(errorNumber(dir.filePath("fehlt/bild.jpg")), platform::ErrFileNotFound);
    make("datei.jpg");
    EXPECT_EQ(errorNumber(dir.filePath("datei.jpg/bild.jpg")), platform::ErrPathNotFound);
    EXPECT_EQ(errorNumber(QString()), platform::ErrBadFileName);
    EXPECT_EQ(errorNumber(QString(5000, u'a')), platform::ErrBadFileName);
}

// Permissions do not stop root, but a file that grants no reading even to its owner in the
// kernel's own file system does.
TEST(OpenForReading, AFileThatCannotBeReadIsRefused) {
    const QString writeOnly = QStringLiteral("/proc/sys/vm/drop_caches");
    if (::access(QFile::encodeName(writeOnly).constData(), F_OK) != 0)
        GTEST_SKIP() << "no " << writeOnly.toStdString() << " here";
    const int probe = ::open(QFile::encodeName(writeOnly).constData(), O_RDONLY);
    if (probe >= 0) {
        ::close(probe);
        GTEST_SKIP() << writeOnly.toStdString() << " can be read here";
    }
    EXPECT_EQ(errorNumber(writeOnly), platform::ErrPathFileAccess);
}

} // namespace
