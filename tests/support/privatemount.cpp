#include "support/privatemount.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/mount.h>

namespace testsupport {

namespace {

constexpr const char* kChildVariable = "KALMORA_PRIVATE_MOUNT_CHILD";
constexpr int kChildTimeoutMs = 120'000;

enum class Outcome { Passed, Failed, Skipped, Unavailable };

struct ChildRun {
    Outcome outcome;
    QString output;
};

// Which mount namespace this process is in, e.g. "mnt:[4026531832]".
QString mountNamespace() {
    return QFileInfo(QStringLiteral("/proc/self/ns/mnt"))
        .symLinkTarget()
        .section(QLatin1Char('/'), -1);
}

QString currentTestName() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return QString::fromUtf8(info->test_suite_name()) + QLatin1Char('.') +
           QString::fromUtf8(info->name());
}

ChildRun runChild() {
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The child checks that it is not in its parent's namespace before it mounts anything.
    environment.insert(QString::fromLatin1(kChildVariable), mountNamespace());
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("unshare"),
                {QStringLiteral("--mount"), QStringLiteral("--propagation"),
                 QStringLiteral("private"), QCoreApplication::applicationFilePath(),
                 QStringLiteral("--gtest_filter=") + currentTestName()});
    if (!child.waitForStarted())
        return {Outcome::Unavailable, QStringLiteral("unshare cannot be started")};
    if (!child.waitForFinished(kChildTimeoutMs)) {
        child.kill();
        child.waitForFinished();
        return {Outcome::Failed, QStringLiteral("the child did not finish in time:\n") +
                                     QString::fromLocal8Bit(child.readAll())};
    }
    const QString output = QString::fromLocal8Bit(child.readAll());
    if (!output.contains(QStringLiteral("[ RUN      ]")))
        return {Outcome::Unavailable, output.trimmed()};
    if (output.contains(QStringLiteral("[  SKIPPED ]")))
        return {Outcome::Skipped, output};
    const bool passed = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 &&
                        output.contains(QStringLiteral("[  PASSED  ] 1 test"));
    return {passed ? Outcome::Passed : Outcome::Failed, output};
}

void report(const ChildRun& run) {
    switch (run.outcome) {
    case Outcome::Passed:
        return;
    case Outcome::Failed:
        ADD_FAILURE() << "in the private mount namespace:\n" << run.output.toStdString();
        return;
    case Outcome::Skipped:
        GTEST_SKIP() << "skipped in the private mount namespace:\n" << run.output.toStdString();
    case Outcome::Unavailable:
        GTEST_SKIP() << "no private mount namespace here: " << run.output.toStdString();
    }
}

} // namespace

bool runsInPrivateMountNamespace() {
    if (qEnvironmentVariableIsSet(kChildVariable)) {
        const QString parent = qEnvironmentVariable(kChildVariable);
        const QString own = mountNamespace();
        if (own.isEmpty() || own == parent) {
            ADD_FAILURE() << "started as the child, but not in a mount namespace of its own";
            return false;
        }
        return true;
    }
    report(runChild());
    return false;
}

SmallTmpfs::SmallTmpfs(std::size_t bytes) {
    if (!folder_.isValid()) {
        error_ = QStringLiteral("no temporary folder: ") + folder_.errorString();
        return;
    }
    const QByteArray where = QFile::encodeName(folder_.path());
    const QByteArray options = "size=" + QByteArray::number(static_cast<qulonglong>(bytes));
    if (::mount("tmpfs", where.constData(), "tmpfs", 0, options.constData()) != 0) {
        error_ = QStringLiteral("mounting a tmpfs was refused: ") +
                 QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    mounted_ = true;
}

SmallTmpfs::~SmallTmpfs() {
    // Unmounted before the temporary folder goes, which removes the (then empty) mount point.
    if (mounted_)
        ::umount2(QFile::encodeName(folder_.path()).constData(), MNT_DETACH);
}

} // namespace testsupport
