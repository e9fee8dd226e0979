// A replacing write names its file only once it is complete, whichever way the file system allows.
#include "platform/files/replacingfile.h"
#include "support/files.h"
#include "support/qtprinters.h"
#include "support/scratchfilesystem.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using platform::ReplacingFile;
using platform::hooks::AnonymousFiles;
using testsupport::contentsOf;
using testsupport::entriesOf;

struct Way {
    const char* label;
    AnonymousFiles how;
    bool named; // a hidden temporary file holds the bytes while they are written
};
void PrintTo(const Way& way, std::ostream* out) {
    *out << way.label;
}

class ReplacingFileWay : public ::testing::TestWithParam<Way> {
protected:
    void SetUp() override { platform::hooks::setAnonymousFiles(GetParam().how); }
    void TearDown() override {
        platform::hooks::setAnonymousFiles(AnonymousFiles::AsTheSystemAllows);
    }
    static bool openAndWrite(ReplacingFile& file) {
        static constexpr std::uint8_t bytes[] = {'n', 'e', 'w'};
        return file.open() && file.write(bytes);
    }

    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("Foto000.jpg"));
    const std::string path = QFile::encodeName(target).toStdString();
    const QStringList onlyTarget{QStringLiteral("Foto000.jpg")};
};

} // namespace

TEST_P(ReplacingFileWay, NamesTheFileOnlyOnceItIsComplete) {
    for (const bool existing : {false, true}) {
        if (existing)
            testsupport::writeFile(target, "old");
        const qsizetype before = entriesOf(dir.path()).size();
        // Killed while writing, as a crash or a logout ends the program.
        if (const pid_t child = ::fork(); child == 0) {
            ReplacingFile file(path);
            if (openAndWrite(file))
                ::kill(::getpid(), SIGKILL);
            ::_exit(1);
        } else {
            ASSERT_EQ(::waitpid(child, nullptr, 0), child);
        }
        EXPECT_EQ(entriesOf(dir.path()).size(), before + GetParam().named) << "left by the kill";
        for (const QString& name : entriesOf(dir.path()).filter(QRegularExpression("^\\.")))
            QFile::remove(dir.filePath(name));

        ReplacingFile file(path);
        ASSERT_TRUE(openAndWrite(file) && file.close());
        EXPECT_EQ(entriesOf(dir.path()).size(), before + GetParam().named);
        EXPECT_EQ(contentsOf(target), existing ? "old" : "");
        ASSERT_TRUE(file.replaceTarget());
        EXPECT_EQ(entriesOf(dir.path()), onlyTarget);
        EXPECT_EQ(contentsOf(target), "new");
    }
}

TEST_P(ReplacingFileWay, ANameTakenDuringTheWriteIsReplacedOnlyAsAnExistingFileWouldBe) {
    // As a user whom write protection stops.
    testsupport::asOrdinaryUser([this] {
        struct Taker {
            const char* what;
            std::function<void(const QString&)> take;
            QByteArray after; // the target's content then
        };
        const Taker takers[] = {
            {"a file", [](const QString& name) { testsupport::writeFile(name, "theirs"); }, "new"},
            {"a link that leads nowhere",
             [](const QString& name) { QFile::link(QStringLiteral("nowhere"), name); }, "new"},
            {"a folder", [](const QString& name) { QDir().mkdir(name); }, ""},
            {"a write-protected file",
             [](const QString& name) {
                 testsupport::writeFile(name, "theirs");
                 QFile::setPermissions(name, QFile::ReadOwner);
             },
             "theirs"},
        };
        for (const Taker& taker : takers) {
            {
                ReplacingFile file(path);
                ASSERT_TRUE(openAndWrite(file) && file.close());
                taker.take(target);
                EXPECT_EQ(file.replaceTarget(), taker.after == "new") << taker.what;
            }
            EXPECT_EQ(entriesOf(dir.path()), onlyTarget) << taker.what << ": nothing hidden";
            EXPECT_EQ(contentsOf(target), taker.after) << taker.what;
            QFile::remove(target) || QDir().rmdir(target);
        }
    });
}

INSTANTIATE_TEST_SUITE_P(Ways, ReplacingFileWay,
                         ::testing::Values(Way{"Anonymous", AnonymousFiles::AsTheSystemAllows,
                                               false},
                                           Way{"Refused", AnonymousFiles::Refused, true},
                                           Way{"WithoutProc", AnonymousFiles::Unlinkable, true}),
                         [](const auto& info) { return std::string(info.param.label); });
