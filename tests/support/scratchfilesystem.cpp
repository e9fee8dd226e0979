#include "support/scratchfilesystem.h"

#include "support/sanitizers.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

namespace testsupport {
namespace {

constexpr const char* FolderVariable = "KALMORA_TMPFS_FOLDER";
constexpr const char* UserVariable = "KALMORA_ORDINARY_USER";

// Runs the current test again in a child process (launcher, then this executable with a filter for
// the test) with variable set to value; prepare runs in the child before the executable starts.
void rerun(const char* variable, const QString& value, QStringList launcher,
           const std::function<void()>& prepare = {}) {
    // QProcess starts its child with vfork: the child's first steps run on the parent's memory, and
    // ThreadSanitizer, which cannot tell, then reports races in the parent that are none.
    if (kThreadSanitizer)
        GTEST_SKIP() << "a child process cannot be started under ThreadSanitizer";
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(variable), value);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    if (prepare)
        child.setChildProcessModifier(prepare);
    launcher << QCoreApplication::applicationFilePath()
             << QStringLiteral("--gtest_filter=%1.%2")
                    .arg(QString::fromUtf8(test->test_suite_name()),
                         QString::fromUtf8(test->name()));
    child.start(launcher.takeFirst(), launcher);
    if (!child.waitForStarted())
        GTEST_SKIP() << "the child cannot be started: " << child.errorString().toStdString();
    ASSERT_TRUE(child.waitForFinished(120'000)) << "the child did not finish";
    const std::string output = QString::fromLocal8Bit(child.readAll()).toStdString();
    if (child.exitCode() == 77 || output.find("[==========]") == std::string::npos)
        GTEST_SKIP() << "the child cannot run the test here: " << output;
    EXPECT_EQ(child.exitCode(), 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << output;
}

} // namespace

void onFileSystem(const QString& type, const QString& options,
                  const std::function<void(const QString& folder)>& scenario) {
    if (const QByteArray inside = qgetenv(FolderVariable); !inside.isEmpty()) {
        scenario(QFile::decodeName(inside));
        return;
    }
    QTemporaryDir mountPoint;
    ASSERT_TRUE(mountPoint.isValid());
    // The mount lives in the child's namespace only and vanishes with it.
    rerun(FolderVariable, mountPoint.path(),
          {QStringLiteral("unshare"), QStringLiteral("--mount"), QStringLiteral("--propagation"),
           QStringLiteral("private"), QStringLiteral("--"), QStringLiteral("/bin/sh"),
           QStringLiteral("-c"),
           QStringLiteral("mount -t \"$1\" -o \"$2\" kalmora-test \"$3\" || exit 77; shift 3; "
                          "exec \"$@\""),
           QStringLiteral("sh"), type, options.isEmpty() ? QStringLiteral("defaults") : options,
           mountPoint.path()});
}

void asOrdinaryUser(const std::function<void()>& scenario) {
    if (::geteuid() != 0 || qEnvironmentVariableIsSet(UserVariable)) {
        scenario();
        return;
    }
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr) << "no user nobody";
    rerun(UserVariable, QStringLiteral("nobody"), {},
          [user = nobody->pw_uid, group = nobody->pw_gid] {
              if (::setgroups(0, nullptr) != 0 || ::setresgid(group, group, group) != 0 ||
                  ::setresuid(user, user, user) != 0)
                  ::_exit(77);
          });
}

} // namespace testsupport
