#include "platform/profile/profile.h"
#include "support/qtprinters.h"
#include "support/scratchfilesystem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <array>
#include <climits>
#include <gtest/gtest.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using platform::GetPrivateProfileIntA;
using platform::GetPrivateProfileStringA;
using platform::WritePrivateProfileStringA;

namespace {

std::string readBytes(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll().toStdString();
}

void writeBytes(const std::string& path, const std::string& content) {
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(content.data(), static_cast<qint64>(content.size())),
              static_cast<qint64>(content.size()));
}

// A text read into a 256-byte buffer with the given size, as a string up to the NUL.
std::string readText(const std::string& section, const std::string& key, const std::string& file,
                     const std::string& defaultValue = "<default>", std::uint32_t size = 255) {
    std::array<char, 256> buffer;
    buffer.fill(' ');
    const auto length =
        GetPrivateProfileStringA(section, key, defaultValue, buffer.data(), size, file);
    const std::string result(buffer.data());
    EXPECT_EQ(length, result.size());
    return result;
}

QStringList folderEntries(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

class Profile : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string file = QFile::encodeName(dir.filePath(QStringLiteral("Kalmora.ini"))).toStdString();
};

TEST_F(Profile, MatchesSectionAndKeyNamesWithoutRegardToCase) {
    writeBytes(file, "[files]\nJpeg=1\n[OTHER]\nquality = 35\n");
    EXPECT_EQ(readText("Files", "JPEG", file), "1");
    EXPECT_EQ(readText("FILES", "jpeg", file), "1");
    EXPECT_EQ(GetPrivateProfileIntA("Other", "Quality", 20, file), 35);
    EXPECT_EQ(GetPrivateProfileIntA("other", "QUALITY", 20, file), 35);
}

TEST_F(Profile, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(readText("Files", "JPEG", file, "0"), "0") << "no file";
    EXPECT_EQ(GetPrivateProfileIntA("Other", "Quality", 20, file), 20);
    writeBytes(file, "[Files]\nJPEG=1\n");
    EXPECT_EQ(readText("Other", "JPEG", file, "x"), "x") << "no section";
    EXPECT_EQ(readText("Files", "GIF", file, "y"), "y") << "no key";
    EXPECT_EQ(GetPrivateProfileIntA("Files", "GIF", -3, file), -3);
    EXPECT_EQ(readText("Files", "JPEG", file + "/below", "z"), "z") << "a path below a file";
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.ini")));
    EXPECT_EQ(
        readText("Files", "JPEG", QFile::encodeName(dir.filePath("folder.ini")).toStdString(), "w"),
        "w")
        << "a folder in the file's place";
}

TEST_F(Profile, ReadsTheFirstOfDuplicateKeysAndValuesOfWindowsFiles) {
    writeBytes(file, "\xEF\xBB\xBF[Other]\r\nPath=  C:\\Bilder \r\nPath=second\r\nQuality=35\r\n");
    EXPECT_EQ(readText("Other", "Path", file), "C:\\Bilder") << "signature, CR LF, blanks";
    EXPECT_EQ(GetPrivateProfileIntA("Other", "Quality", 20, file), 35);
}

TEST_F(Profile, TextReadCopiesAtMostSizeMinusOneBytesAndEndsWithNul) {
    writeBytes(file, "[Other]\nPath=" + std::string(300, 'p') + "\n");
    std::array<char, 256> buffer;
    buffer.fill(' ');
    EXPECT_EQ(GetPrivateProfileStringA("Other", "Path", "", buffer.data(), 255, file), 254u);
    EXPECT_EQ(std::string(buffer.data()), std::string(254, 'p'));
    EXPECT_EQ(buffer[255], ' ') << "nothing beyond the size is touched";

    EXPECT_EQ(GetPrivateProfileStringA("Other", "Path", "", buffer.data(), 1, file), 0u);
    EXPECT_EQ(buffer[0], '\0');
    buffer[0] = '#';
    EXPECT_EQ(GetPrivateProfileStringA("Other", "Path", "", buffer.data(), 0, file), 0u);
    EXPECT_EQ(buffer[0], '#') << "size 0 writes nothing";
    EXPECT_EQ(readText("Other", "Missing", file, std::string(260, 'd')), std::string(254, 'd'))
        << "the default is cut the same way";
}

// Values whose 254-byte cut falls on, or inside, a multi-byte character.
struct Cut {
    std::string value;
    std::string expected;
};
class ProfileUtf8Cut : public Profile, public ::testing::WithParamInterface<Cut> {};

TEST_P(ProfileUtf8Cut, NeverCutsACharacterInHalf) {
    writeBytes(file, "[Other]\nPath=" + GetParam().value + "\n");
    EXPECT_EQ(readText("Other", "Path", file), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ProfileUtf8Cut,
    ::testing::Values(
        Cut{std::string(252, 'a') + "\xC3\xA4" + "b", std::string(252, 'a') + "\xC3\xA4"},
        Cut{std::string(253, 'a') + "\xC3\xA4", std::string(253, 'a')},
        Cut{std::string(252, 'a') + "\xE2\x82\xAC", std::string(252, 'a')},
        Cut{std::string(251, 'a') + "\xE2\x82\xAC" + "z", std::string(251, 'a') + "\xE2\x82\xAC"},
        Cut{std::string(251, 'a') + "\xF0\x9F\x98\x80", std::string(251, 'a')},
        Cut{std::string(127, '\xC3') + "", std::string(127, '\xC3')},
        Cut{std::string(300, '\x80'), std::string(254, '\x80')}));

struct Number {
    const char* value;
    int expected;
};
class ProfileInt : public Profile, public ::testing::WithParamInterface<Number> {};

TEST_P(ProfileInt, TakesTheLeadingDecimalNumber) {
    writeBytes(file, std::string("[Other]\nQuality=") + GetParam().value + "\n");
    EXPECT_EQ(GetPrivateProfileIntA("Other", "Quality", 20, file), GetParam().expected)
        << "value \"" << GetParam().value << '"';
}

INSTANTIATE_TEST_SUITE_P(Values, ProfileInt,
                         ::testing::Values(Number{"35", 35}, Number{"35abc", 35}, Number{"abc", 0},
                                           Number{"", 0}, Number{"  12  ", 12}, Number{"007", 7},
                                           Number{"-7", 0}, Number{"+8", 0}, Number{"-", 0},
                                           Number{"0x1A", 0}, Number{"3.9", 3},
                                           Number{"99999999999", INT_MAX},
                                           Number{"-99999999999", 0}, Number{"2147483647", INT_MAX},
                                           Number{"-2147483648", 0}));

TEST_F(Profile, WriteCreatesFileSectionAndKeyAndReplacesValues) {
    EXPECT_TRUE(WritePrivateProfileStringA("Files", "JPEG", "1", file));
    EXPECT_EQ(readBytes(file), "[Files]\nJPEG=1\n");
    EXPECT_TRUE(WritePrivateProfileStringA("Other", "Quality", "20", file));
    EXPECT_TRUE(WritePrivateProfileStringA("FILES", "jpeg", "0", file));
    EXPECT_TRUE(WritePrivateProfileStringA("Files", "GIF", "", file));
    EXPECT_EQ(readBytes(file), "[Files]\nJPEG=0\nGIF=\n[Other]\nQuality=20\n");
    EXPECT_EQ(readText("Files", "JPEG", file), "0");
    EXPECT_EQ(readText("Files", "GIF", file), "") << "an empty value is not a missing key";
    EXPECT_EQ(folderEntries(dir.path()), QStringList{QStringLiteral("Kalmora.ini")})
        << "no temporary file is left behind";
}

// A file, the writes made to it in turn (section, key, value), and every byte it holds after them.
struct Edit {
    const char* label;
    std::string before;
    std::vector<std::array<std::string, 3>> writes;
    std::string after;
};
void PrintTo(const Edit& edit, std::ostream* out) {
    *out << edit.label;
}
class ProfileEdit : public Profile, public ::testing::WithParamInterface<Edit> {};

TEST_P(ProfileEdit, ChangesOnlyTheValueWrittenAndKeepsEveryOtherByte) {
    writeBytes(file, GetParam().before);
    for (const auto& [section, key, value] : GetParam().writes)
        ASSERT_TRUE(WritePrivateProfileStringA(section, key, value, file));
    EXPECT_EQ(readBytes(file), GetParam().after);
    for (const auto& [section, key, value] : GetParam().writes)
        EXPECT_EQ(readText(section, key, file), value) << section << '/' << key;
}

INSTANTIATE_TEST_SUITE_P(
    Files, ProfileEdit,
    ::testing::Values(
        Edit{"CommentsNotesAndOtherSections",
             "; Kalmora settings\n\n[Files]\n; which types count\nJPEG=0\nGIF=1\n[Other]\n"
             "my notes, no equals sign\nPath=/old\nCustom = keep me\n[Mine]\nx=y\n\n; the end\n",
             {{"Other", "Path", "/new"}, {"Files", "BMP", "2"}, {"Fresh", "Key", "v"}},
             "; Kalmora settings\n\n[Files]\n; which types count\nJPEG=0\nGIF=1\nBMP=2\n[Other]\n"
             "my notes, no equals sign\nPath=/new\nCustom = keep me\n[Mine]\nx=y\n\n; the end\n"
             "[Fresh]\nKey=v\n"},
        Edit{"WindowsLineEndsAndTheKeysOwnSpelling",
             "\xEF\xBB\xBF[files]\r\n  jpeg  =  1  \r\n; note\r\n\r\n[Other]\r\nPath=\r\n",
             {{"Files", "JPEG", "0"}, {"FILES", "gif", "1"}, {"Other", "Path", "/p"}},
             "\xEF\xBB\xBF[files]\r\n  jpeg  =  0  \r\ngif=1\r\n"
             "; note\r\n\r\n[Other]\r\nPath=/p\r\n"},
        Edit{"NoLastLineEndAndTwiceTheSameSectionAndKey",
             "[Other]\nQuality=1\nquality=2\n[other]\nPath=/a",
             {{"Other", "Quality", "3"},
              {"Other", "Path", "/b"},
              {"Other", "Filename", "F"},
              {"Files", "ALL", "1"}},
             "[Other]\nQuality=3\nquality=2\nFilename=F\n[other]\nPath=/b\n[Files]\nALL=1\n"},
        Edit{"ASignatureAlone",
             "\xEF\xBB\xBF",
             {{"Files", "JPEG", "1"}},
             "\xEF\xBB\xBF[Files]\nJPEG=1\n"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(Profile, WritingTheSameValuesAgainGivesTheSameBytes) {
    writeBytes(file, "; note\n[Other]\nPath = /x\n\n; tail\n");
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_TRUE(WritePrivateProfileStringA("Other", "Path", "/y", file));
        ASSERT_TRUE(WritePrivateProfileStringA("Other", "Filename", "Foto", file));
    }
    const std::string once = readBytes(file);
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    ASSERT_TRUE(WritePrivateProfileStringA("Other", "Path", "/y", file));
    ASSERT_TRUE(WritePrivateProfileStringA("Other", "Filename", "Foto", file));
    EXPECT_EQ(readBytes(file), once);
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "an unchanged file is not rewritten";
}

TEST_F(Profile, NonAsciiValuesSurviveAWriteAndARead) {
    const std::string path = "/home/J\xC3\xB6rg/\xC3\x9C"
                             "bergr\xC3\xB6\xC3\x9F"
                             "e \xE2\x82\xAC";
    ASSERT_TRUE(WritePrivateProfileStringA("Other", "Path", path, file));
    EXPECT_EQ(readText("Other", "Path", file), path);
}

TEST_F(Profile, AValueIsOneLine) {
    ASSERT_TRUE(WritePrivateProfileStringA("Other", "Path", "/a\nQuality=5\r\n[Evil]", file));
    EXPECT_EQ(readText("Other", "Path", file), "/a");
    EXPECT_EQ(GetPrivateProfileIntA("Other", "Quality", 20, file), 20);
    EXPECT_EQ(readBytes(file), "[Other]\nPath=/a\n");
}

TEST_F(Profile, RefusesNamesThatWouldNotReadBack) {
    for (const auto& [section, key] :
         std::initializer_list<std::pair<std::string, std::string>>{{"", "k"},
                                                                    {"S", ""},
                                                                    {"A]B", "k"},
                                                                    {"S", "a=b"},
                                                                    {"S", "a\nb"},
                                                                    {"S", ";k"},
                                                                    {"[S", "k"},
                                                                    {"S", " k"}}) {
        EXPECT_FALSE(WritePrivateProfileStringA(section, key, "v", file)) << section << '/' << key;
    }
    EXPECT_EQ(readBytes(file), "<missing>");
}

TEST_F(Profile, WriteKeepsPermissionsAndWritesThroughALink) {
    writeBytes(file, "[Other]\nQuality=20\n");
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    const std::string link =
        QFile::encodeName(dir.filePath(QStringLiteral("link.ini"))).toStdString();
    ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
    ASSERT_TRUE(WritePrivateProfileStringA("Other", "Quality", "35", link));
    struct stat status {};
    ASSERT_EQ(::lstat(link.c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode)) << "the link stays a link";
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_EQ(readBytes(file), "[Other]\nQuality=35\n");
}

TEST_F(Profile, AWriteThatCannotBeDoneChangesNothing) {
    writeBytes(file, "[Other]\nQuality=20\n");
    EXPECT_FALSE(WritePrivateProfileStringA("Other", "Quality", "35", file + "/Kalmora.ini"))
        << "a path below a regular file";
    EXPECT_EQ(readBytes(file), "[Other]\nQuality=20\n");

    const QString gone = dir.filePath(QStringLiteral("gone"));
    EXPECT_FALSE(WritePrivateProfileStringA(
        "Other", "Quality", "35",
        QFile::encodeName(gone + QStringLiteral("/Kalmora.ini")).toStdString()))
        << "a folder that does not exist";
    EXPECT_FALSE(QFileInfo::exists(gone));

    const QString folder = dir.filePath(QStringLiteral("folder.ini"));
    ASSERT_TRUE(QDir().mkdir(folder));
    EXPECT_FALSE(WritePrivateProfileStringA("Other", "Quality", "35",
                                            QFile::encodeName(folder).toStdString()));
    EXPECT_TRUE(QFileInfo(folder).isDir());

    // A file the user protected, in a folder the user may write (root may write it).
    testsupport::asOrdinaryUser([this] {
        ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
        EXPECT_FALSE(WritePrivateProfileStringA("Other", "Quality", "35", file));
        EXPECT_EQ(readBytes(file), "[Other]\nQuality=20\n");
        EXPECT_EQ(folderEntries(dir.path()).filter(QStringLiteral("Kalmora")).size(), 1);
    });
}

// A settings file of a little under one page, on a tmpfs whose remaining space is filled.
void fillTmpfs(const QString& folder, const std::string& file) {
    std::string content = "; settings\n[Other]\n";
    for (int i = 0; content.size() < 3900; ++i)
        content += "Key" + std::to_string(i) + "=" + std::string(60, 'v') + "\n";
    ASSERT_TRUE(WritePrivateProfileStringA("Other", "Quality", "20", file));
    writeBytes(file, content + "Quality=20\n");
    QFile filler(folder + QStringLiteral("/filler"));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
}

TEST(ProfileOnTmpfs, AFullDiskLeavesTheOldFileIntact) {
    testsupport::onTmpfs(QStringLiteral("size=64k"), [](const QString& folder) {
        const std::string file = QFile::encodeName(folder + "/Kalmora.ini").toStdString();
        fillTmpfs(folder, file);
        const std::string old = readBytes(file);
        EXPECT_FALSE(WritePrivateProfileStringA("Other", "Path", std::string(400, 'p'), file));
        EXPECT_EQ(readBytes(file), old);
        EXPECT_EQ(folderEntries(folder),
                  (QStringList{QStringLiteral("Kalmora.ini"), QStringLiteral("filler")}));
        // The same write fits once the filler has made room.
        ASSERT_TRUE(QFile::remove(folder + QStringLiteral("/filler")));
        EXPECT_TRUE(WritePrivateProfileStringA("Other", "Path", std::string(400, 'p'), file));
        EXPECT_EQ(readText("Other", "Path", file), std::string(254, 'p'));
    });
}

TEST(ProfileOnTmpfs, AFullDiskStillTakesAWriteThatFitsTheFilesOwnSpace) {
    testsupport::onTmpfs(QStringLiteral("size=64k"), [](const QString& folder) {
        const std::string file = QFile::encodeName(folder + "/Kalmora.ini").toStdString();
        fillTmpfs(folder, file);
        EXPECT_TRUE(WritePrivateProfileStringA("Other", "Quality", "35", file))
            << "no room for a temporary file, but the file itself has room";
        EXPECT_EQ(GetPrivateProfileIntA("Other", "Quality", 20, file), 35);
        EXPECT_EQ(readText("Other", "Key0", file), std::string(60, 'v'));
    });
}

TEST(ProfileOnTmpfs, WritesInPlaceWhenNoTemporaryFileCanBeMade) {
    // The root folder and the settings file take both inodes.
    testsupport::onTmpfs(QStringLiteral("nr_inodes=2"), [](const QString& folder) {
        const std::string file = QFile::encodeName(folder + "/Kalmora.ini").toStdString();
        ASSERT_TRUE(WritePrivateProfileStringA("Other", "Quality", "20", file));
        EXPECT_FALSE(QFile(folder + QStringLiteral("/other")).open(QIODevice::WriteOnly))
            << "the file system is meant to be out of inodes";
        EXPECT_TRUE(WritePrivateProfileStringA("Other", "Path", "/pictures", file));
        EXPECT_TRUE(WritePrivateProfileStringA("Other", "Quality", "5", file));
        EXPECT_EQ(readBytes(file), "[Other]\nQuality=5\nPath=/pictures\n");
    });
}

TEST(ProfileOnTmpfs, AReadOnlyFileSystemChangesNothing) {
    testsupport::onTmpfs(QStringLiteral("size=64k"), [](const QString& folder) {
        const std::string file = QFile::encodeName(folder + "/Kalmora.ini").toStdString();
        ASSERT_TRUE(WritePrivateProfileStringA("Other", "Quality", "20", file));
        ASSERT_EQ(::mount("kalmora-test", QFile::encodeName(folder).constData(), "tmpfs",
                          MS_REMOUNT | MS_RDONLY, nullptr),
                  0);
        EXPECT_FALSE(WritePrivateProfileStringA("Other", "Quality", "35", file));
        EXPECT_EQ(readBytes(file), "[Other]\nQuality=20\n");
    });
}

} // namespace
