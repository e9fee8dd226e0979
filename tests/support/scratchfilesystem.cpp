#include "support/scratchfilesystem.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace testsupport {
namespace {

constexpr const char* FolderVariable = "KALMORA_TMPFS_FOLDER";

} // namespace

void onFileSystem(const QString& type, const QString& options,
                  const std::function<void(const QString& folder)>& scenario) {
    if (const QByteArray inside = qgetenv(FolderVariable); !inside.isEmpty()) {
        scenario(QFile::decodeName(inside));
        return;
    }
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    QTemporaryDir mountPoint;
    ASSERT_TRUE(mountPoint.isValid());

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(FolderVariable), mountPoint.path());
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    const QString filter =
        QStringLiteral("--gtest_filter=%1.%2")
            .arg(QString::fromUtf8(test->test_suite_name()), QString::fromUtf8(test->name()));
    // The mount lives in the child's namespace only and vanishes with it.
    child.start(
        QStringLiteral("unshare"),
        {QStringLiteral("--mount"), QStringLiteral("--propagation"), QStringLiteral("private"),
         QStringLiteral("--"), QStringLiteral("/bin/sh"), QStringLiteral("-c"),
         QStringLiteral("mount -t \"$1\" -o \"$2\" kalmora-test \"$3\" || exit 77; shift 3; "
                        "exec \"$@\""),
         QStringLiteral("sh"), type, options.isEmpty() ? QStringLiteral("defaults") : options,
         mountPoint.path(), QCoreApplication::applicationFilePath(), filter});
    if (!child.waitForStarted())
        GTEST_SKIP() << "unshare cannot be started: " << child.errorString().toStdString();
    ASSERT_TRUE(child.waitForFinished(120'000))
        << "the child on its own file system did not finish";
    const std::string output = QString::fromLocal8Bit(child.readAll()).toStdString();
    if (child.exitCode() == 77 || output.find("[==========]") == std::string::npos)
        GTEST_SKIP() << "no file system of our own on this machine: " << output;
    EXPECT_EQ(child.exitCode(), 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << output;
}

} // namespace testsupport
