// The guard that keeps a run's outputs from replacing sources it has not read yet.
#include "conversion/sourceguard.h"
#include "support/qtprinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using conversion::SourceGuard;

class SourceGuardTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir.filePath(name); }
    void put(const QString& name, const QByteArray& content) const {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    QByteArray content(const QString& name) const {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    // Every name in the folder, hidden ones included.
    QStringList names() const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }
    QStringList sources(const QStringList& list) const {
        QStringList paths;
        for (const QString& name : list)
            paths.append(path(name));
        return paths;
    }
    // Writes output index as the writer would: whole, into the path the guard gives.
    void write(SourceGuard& guard, int index, const QString& target, const QByteArray& bytes) {
        const QString destination = guard.destination(index, path(target));
        QFile file(destination);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            << destination.toStdString();
        file.write(bytes);
        file.close();
        guard.written(index, true);
    }

    QTemporaryDir dir;
};

TEST_F(SourceGuardTest, AnOutputThatReplacesNoUnreadSourceIsWrittenInPlace) {
    put("a.bmp", "A");
    put("b.bmp", "B");
    put("Foto000.jpg", "old output, not a source");
    SourceGuard guard(sources({"a.bmp", "b.bmp"}));
    EXPECT_EQ(guard.destination(0, path("Foto000.jpg")), path("Foto000.jpg"));
    guard.written(0, true);
    EXPECT_EQ(guard.destination(1, path("Foto001.jpg")), path("Foto001.jpg"));
    // Its own source, already read, may be replaced by it.
    EXPECT_EQ(guard.destination(0, path("a.bmp")), path("a.bmp"));
    EXPECT_EQ(guard.pendingCount(), 0);
}

TEST_F(SourceGuardTest, AnOutputWaitsHiddenUntilTheSourceItReplacesHasItsOwnOutput) {
    put("a.bmp", "A");
    put("Foto000.jpg", "F0");
    SourceGuard guard(sources({"a.bmp", "Foto000.jpg"}));
    write(guard, 0, "Foto000.jpg", "out0");
    EXPECT_EQ(content("Foto000.jpg"), "F0");
    EXPECT_EQ(guard.pendingCount(), 1);
    const QStringList during = names();
    ASSERT_EQ(during.size(), 3);
    EXPECT_TRUE(during[0].startsWith(".Foto000.jpg.")) << during.join(' ').toStdString();

    write(guard, 1, "Foto001.jpg", "out1");
    EXPECT_EQ(content("Foto000.jpg"), "out0");
    EXPECT_EQ(content("Foto001.jpg"), "out1");
    EXPECT_EQ(guard.pendingCount(), 0);
    EXPECT_EQ(names(), QStringList({"Foto000.jpg", "Foto001.jpg", "a.bmp"}));
}

TEST_F(SourceGuardTest, ASourceThatIsNoPictureMayBeReplacedOnceRead) {
    put("a.bmp", "A");
    put("Foto000.jpg", "not a picture");
    SourceGuard guard(sources({"a.bmp", "Foto000.jpg"}));
    write(guard, 0, "Foto000.jpg", "out0");
    EXPECT_EQ(content("Foto000.jpg"), "not a picture");
    guard.mayBeReplaced(1);
    EXPECT_EQ(content("Foto000.jpg"), "out0");
    EXPECT_EQ(names(), QStringList({"Foto000.jpg", "a.bmp"}));
}

TEST_F(SourceGuardTest, AChainOfWaitingOutputsFallsIntoPlaceFromItsEnd) {
    put("a.bmp", "A");
    put("Foto000.jpg", "F0");
    put("Foto001.jpg", "F1");
    SourceGuard guard(sources({"a.bmp", "Foto000.jpg", "Foto001.jpg"}));
    write(guard, 0, "Foto000.jpg", "out0");
    write(guard, 1, "Foto001.jpg", "out1");
    // Source 1 was read, but what became of it waits too: it keeps its name meanwhile.
    EXPECT_EQ(content("Foto000.jpg"), "F0");
    EXPECT_EQ(content("Foto001.jpg"), "F1");
    write(guard, 2, "Foto002.jpg", "out2");
    EXPECT_EQ(content("Foto000.jpg"), "out0");
    EXPECT_EQ(content("Foto001.jpg"), "out1");
    EXPECT_EQ(content("Foto002.jpg"), "out2");
    EXPECT_EQ(names().size(), 4);
}

TEST_F(SourceGuardTest, OutputsWhoseSourcesNeverBecomeFreeAreDroppedAndTheSourcesKept) {
    put("a.bmp", "A");
    put("Foto000.jpg", "F0");
    put("Foto001.jpg", "F1");
    {
        SourceGuard guard(sources({"a.bmp", "Foto000.jpg", "Foto001.jpg"}));
        write(guard, 0, "Foto000.jpg", "out0");
        write(guard, 1, "Foto001.jpg", "out1");
        EXPECT_EQ(guard.pendingCount(), 2);
        // The run ends here (cancelled, or source 2 could not be read).
    }
    EXPECT_EQ(names(), QStringList({"Foto000.jpg", "Foto001.jpg", "a.bmp"}));
    EXPECT_EQ(content("Foto000.jpg"), "F0");
    EXPECT_EQ(content("Foto001.jpg"), "F1");
}

TEST_F(SourceGuardTest, AFailedOrUnfinishedWriteLeavesTheFolderAsItWas) {
    put("a.bmp", "A");
    put("Foto000.jpg", "F0");
    put("Foto001.jpg", "F1");
    {
        SourceGuard guard(sources({"a.bmp", "Foto000.jpg", "Foto001.jpg", "x"}));
        const QString failed = guard.destination(0, path("Foto000.jpg"));
        EXPECT_TRUE(failed.startsWith(path(".Foto000.jpg."))) << failed.toStdString();
        EXPECT_FALSE(QFile::exists(failed)) << "only a name: the writer makes the whole file";
        // A failed writer leaves nothing there, so what another program put there is not ours.
        put(QFileInfo(failed).fileName(), "theirs");
        guard.written(0, false);
        EXPECT_EQ(content(QFileInfo(failed).fileName()), "theirs");
        QFile::remove(failed);
        // The writer left by an error: the next output's question drops the reservation.
        const QString abandoned = guard.destination(0, path("Foto000.jpg"));
        EXPECT_NE(guard.destination(1, path("Foto001.jpg")), abandoned);
        EXPECT_EQ(guard.pendingCount(), 0);
    }
    EXPECT_EQ(names(), QStringList({"Foto000.jpg", "Foto001.jpg", "a.bmp"}));
}

TEST_F(SourceGuardTest, SourcesAreKnownByIdentityNotByName) {
    put("a.bmp", "A");
    put("b.bmp", "B");
    put("z.jpg", "Z");
    // A name that leads to a later source: writing it would replace that source.
    ASSERT_TRUE(QFile::link(path("z.jpg"), path("Foto000.jpg")));
    // A second name of that file, as a file system that ignores case has for "Z.JPG".
    ASSERT_EQ(::link(QFile::encodeName(path("z.jpg")).constData(),
                     QFile::encodeName(path("Foto001.jpg")).constData()),
              0);
    SourceGuard guard(sources({"a.bmp", "b.bmp", "z.jpg"}));
    write(guard, 0, "Foto000.jpg", "out0");
    write(guard, 1, "Foto001.jpg", "out1");
    EXPECT_EQ(guard.pendingCount(), 2);
    EXPECT_EQ(content("z.jpg"), "Z");
    write(guard, 2, "Foto002.jpg", "out2");
    // Placed through the link, as the writer itself writes: the link stays a link.
    EXPECT_EQ(content("z.jpg"), "out0");
    EXPECT_TRUE(QFileInfo(path("Foto000.jpg")).isSymLink());
    EXPECT_EQ(content("Foto001.jpg"), "out1");
    EXPECT_EQ(names().filter(QRegularExpression("^\\.")), QStringList());
}

TEST_F(SourceGuardTest, AnOutputOntoAnEarlierSourceWaitsWhileThatSourceHasNoOutputInPlace) {
    put("Foto001.jpg", "F1");
    put("m.bmp", "M");
    put("z.jpg", "Z");
    // Written out of order by name: output 2 goes onto source 0, whose own output is waiting.
    SourceGuard guard(sources({"Foto001.jpg", "m.bmp", "z.jpg"}));
    write(guard, 0, "z.jpg", "out0");
    EXPECT_EQ(guard.pendingCount(), 1);
    write(guard, 1, "Foto001.jpg", "out1");
    EXPECT_EQ(content("Foto001.jpg"), "F1");
    EXPECT_EQ(guard.pendingCount(), 2);
    write(guard, 2, "other.jpg", "out2");
    EXPECT_EQ(content("z.jpg"), "out0");
    EXPECT_EQ(content("Foto001.jpg"), "out1");
    EXPECT_EQ(guard.pendingCount(), 0);
}

// Outputs that wait on each other in a ring, over the sources a.jpg, b.jpg, c.jpg: each step
// "1>c.jpg" writes output 1 onto c.jpg, "1!c.jpg" is that write failing; the run ends after the
// last step (a cancel when sources are left). Then a.jpg, b.jpg and c.jpg hold these contents.
struct Ring {
    const char* label;
    QStringList steps;
    QStringList after;
};
void PrintTo(const Ring& ring, std::ostream* out) {
    *out << ring.label;
}
class SourceGuardRing : public SourceGuardTest, public ::testing::WithParamInterface<Ring> {};

TEST_P(SourceGuardRing, IsPlacedWholeOnceEveryMemberIsWrittenAndElseLeftAsItWas) {
    for (const char* name : {"a", "b", "c"})
        put(QStringLiteral("%1.jpg").arg(name), QByteArray(name).toUpper());
    {
        SourceGuard guard(sources({"a.jpg", "b.jpg", "c.jpg"}));
        for (const QString& step : GetParam().steps) {
            const int index = step.left(1).toInt();
            if (step[1] == u'>') {
                write(guard, index, step.mid(2), "out" + QByteArray::number(index));
            } else {
                guard.destination(index, path(step.mid(2)));
                guard.written(index, false);
            }
        }
        EXPECT_EQ(QStringList({content("a.jpg"), content("b.jpg"), content("c.jpg")}),
                  GetParam().after);
    }
    EXPECT_EQ(names(), QStringList({"a.jpg", "b.jpg", "c.jpg"}));
}

INSTANTIATE_TEST_SUITE_P(
    Rings, SourceGuardRing,
    ::testing::Values(
        Ring{"Smallest", {"0>b.jpg", "1>a.jpg"}, {"out1", "out0", "C"}},
        Ring{"OfThree", {"0>b.jpg", "1>c.jpg", "2>a.jpg"}, {"out2", "out0", "out1"}},
        Ring{"CancelledInTheMiddle", {"0>b.jpg", "1>c.jpg"}, {"A", "B", "C"}},
        Ring{"AMembersWriteFails", {"0>b.jpg", "1!c.jpg", "2>a.jpg"}, {"A", "B", "C"}}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
