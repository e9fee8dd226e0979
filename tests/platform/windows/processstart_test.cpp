#include "platform/errors/runtimeerror.h"
#include "platform/windows/processstart.h"
#include "support/errornumber.h"
#include "support/processstarts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace platform;

namespace {

class ProcessStartTest : public ::testing::Test {
protected:
    QString makeFile(const QString& name, bool executable) {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        auto permissions = QFile::ReadOwner | QFile::WriteOwner;
        if (executable)
            permissions |= QFile::ExeOwner;
        EXPECT_TRUE(file.setPermissions(permissions));
        return path;
    }

    static int errorOf(const QString& program) {
        return testsupport::errorNumber([&] { StartProcess(program); });
    }

    QTemporaryDir dir;
    testsupport::ProcessStarts starts;
};

TEST_F(ProcessStartTest, StartsAnExistingProgramByItsFullPath) {
    const QString program = makeFile("tool", true);
    const QString saved = QDir::currentPath();
    QDir::setCurrent(dir.path());
    EXPECT_GT(StartProcess(QStringLiteral("./tool")), 0);
    QDir::setCurrent(saved);
    ASSERT_EQ(starts.count(), 1);
    EXPECT_EQ(starts.started()[0], program);
}

TEST_F(ProcessStartTest, RefusesWhatCannotBeStarted) {
    const QString notAProgram = makeFile("text", false);
    EXPECT_EQ(errorOf(QString()), ErrInvalidProcedureCall);
    EXPECT_EQ(errorOf(dir.filePath("missing")), ErrFileNotFound);
    EXPECT_EQ(errorOf(notAProgram + "/below"), ErrFileNotFound);
    EXPECT_EQ(errorOf(dir.path()), ErrInvalidProcedureCall);
    EXPECT_EQ(errorOf(notAProgram), ErrInvalidProcedureCall);
    EXPECT_EQ(starts.count(), 0);
}

TEST_F(ProcessStartTest, AFailedStartReachesTheCaller) {
    const QString program = makeFile("tool", true);
    starts.failWith(ErrPathFileAccess);
    EXPECT_EQ(errorOf(program), ErrPathFileAccess);
}

} // namespace
