#include "platform/files/filenames.h"
#include "settings/settings.h"
#include "support/qtprinters.h"
#include "support/scratchfilesystem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tuple>

using namespace settings;

namespace {

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeBytes(const QString& path, const QByteArray& content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(content), content.size());
}

// The pattern for an unticked "ALL", by the flags of JPEG, GIF and BMP (1 ticked, 0 not).
struct PatternRow {
    int jpeg, gif, bmp;
    const char* pattern;
};
constexpr PatternRow PatternTable[] = {
    {0, 0, 0, ""},
    {1, 0, 0, "*.jpg"},
    {0, 1, 0, "*.gif"},
    {0, 0, 1, "*.bmp;*.dib"},
    {1, 1, 0, "*.jpg;*.gif"},
    {1, 0, 1, "*.jpg;*.bmp;*.dib"},
    {0, 1, 1, "*.gif;*.bmp;*.dib"},
    {1, 1, 1, "*.jpg;*.gif;*.bmp;*.dib"},
};

// Every combination of the four states 0, 1 and 2: only 1 counts as ticked, and a ticked "ALL"
// overrides the rest.
TEST(PatternFromFlags, FollowsTheTableWithGreyedCountingAsUnticked) {
    for (int all = 0; all <= 2; ++all)
        for (const PatternRow& row : PatternTable)
            for (int jpeg = 0; jpeg <= 2; ++jpeg)
                for (int gif = 0; gif <= 2; ++gif)
                    for (int bmp = 0; bmp <= 2; ++bmp) {
                        if ((jpeg == 1) != (row.jpeg == 1) || (gif == 1) != (row.gif == 1) ||
                            (bmp == 1) != (row.bmp == 1))
                            continue;
                        const QString expected =
                            all == 1 ? QStringLiteral("*.*") : QString::fromLatin1(row.pattern);
                        EXPECT_EQ(PatternFromFlags(jpeg, gif, bmp, all), expected)
                            << "JPEG " << jpeg << " GIF " << gif << " BMP " << bmp << " ALL "
                            << all;
                    }
}

TEST(IniFilePath, AlwaysInsertsTheSeparator) {
    EXPECT_EQ(IniFilePath(QStringLiteral("/opt/kalmora")),
              QStringLiteral("/opt/kalmora/Kalmora.ini"));
    EXPECT_EQ(IniFilePath(QStringLiteral("/")), QStringLiteral("//Kalmora.ini"));
    EXPECT_EQ(IniFilePath(QStringLiteral("/opt/k/")), QStringLiteral("/opt/k//Kalmora.ini"));
}

TEST(NullTrim, KeepsWhatComesBeforeTheFirstNul) {
    const QString filled = QStringLiteral("abc") + QChar(u'\0') + QStringLiteral("   ");
    EXPECT_EQ(NullTrim(filled), QStringLiteral("abc"));
    EXPECT_EQ(filled.size(), 7) << "the argument is left unchanged";
    EXPECT_EQ(NullTrim(QChar(u'\0') + QStringLiteral("xyz") + QChar(u'\0')), QString());
    EXPECT_EQ(NullTrim(QStringLiteral("a\u00e4b") + QChar(u'\0')), QStringLiteral("a\u00e4b"));
}

class Settings : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString ini = IniFilePath(dir.path());

    QString read(const QString& section, const QString& key) const {
        return ReadText(ini, section, key, QStringLiteral("<default>"));
    }
};

TEST_F(Settings, AMissingFileGivesEveryDefault) {
    const QString programFolder = QStringLiteral("/opt/kalmora");
    EXPECT_EQ(ReadText(ini, SectionFiles, KeyJpeg, QStringLiteral("0")), QStringLiteral("0"));
    EXPECT_EQ(ReadText(ini, SectionFiles, KeyGif, QStringLiteral("0")), QStringLiteral("0"));
    EXPECT_EQ(ReadText(ini, SectionFiles, KeyBmp, QStringLiteral("0")), QStringLiteral("0"));
    EXPECT_EQ(ReadText(ini, SectionFiles, KeyAll, QStringLiteral("1")), QStringLiteral("1"));
    EXPECT_EQ(ReadQuality(ini), 20);
    EXPECT_EQ(ReadText(ini, SectionOther, KeyPath, programFolder), programFolder);
    EXPECT_EQ(ReadText(ini, SectionOther, KeyFilename, QStringLiteral("Foto")),
              QStringLiteral("Foto"));
    EXPECT_EQ(ReadText(ini, SectionOther, KeyExtension, QStringLiteral("0")), QStringLiteral("0"));
    EXPECT_FALSE(QFile::exists(ini)) << "reading creates nothing";
}

TEST_F(Settings, ReadsMixedCaseSectionAndKeyNames) {
    writeBytes(ini, "[fILES]\njpeg=1\nAll=0\n[other]\nPATH=/bilder\nqUALITY=35\nfilename=Urlaub\n");
    EXPECT_EQ(read(SectionFiles, KeyJpeg), QStringLiteral("1"));
    EXPECT_EQ(read(SectionFiles, KeyAll), QStringLiteral("0"));
    EXPECT_EQ(read(SectionOther, KeyPath), QStringLiteral("/bilder"));
    EXPECT_EQ(read(SectionOther, KeyFilename), QStringLiteral("Urlaub"));
    EXPECT_EQ(ReadQuality(ini), 35);
}

// Characters, not bytes: a letter of two or four bytes, and a byte that is no UTF-8 (carried as
// one character by the file-name mapping), each count as one.
TEST_F(Settings, ALongPathReadsBackAsItsFirst254Characters) {
    for (const QString& letter :
         {QStringLiteral("p"), QStringLiteral("\u00fc"), QStringLiteral("\U0001F600"),
          platform::decodeName("\x80"), platform::decodeName("\xE4")}) {
        const QString path = QStringLiteral("/") + letter.repeated(299);
        writeBytes(ini, "[Other]\nPath=" + platform::encodeName(path) + "\n");
        EXPECT_EQ(read(SectionOther, KeyPath), QStringLiteral("/") + letter.repeated(253))
            << platform::encodeName(letter).toHex().toStdString();
    }
}

TEST_F(Settings, ALongNonAsciiPathIsNotCutInsideACharacter) {
    // 253 ASCII letters, then umlauts of two bytes each: the 254th character is the first umlaut.
    const QString path = QString(253, QLatin1Char('a')) + QStringLiteral("\u00e4\u00f6\u00fc");
    writeBytes(ini, "[Other]\nPath=" + path.toUtf8() + "\n");
    const QString result = read(SectionOther, KeyPath);
    EXPECT_EQ(result, path.left(254));
    EXPECT_FALSE(result.contains(QChar::ReplacementCharacter));
}

TEST_F(Settings, QualityTakesTheLeadingNumber) {
    for (const auto& [value, expected] :
         {std::tuple{"35", 35}, std::tuple{"35abc", 35}, std::tuple{"abc", 0}, std::tuple{"", 0}}) {
        writeBytes(ini, QByteArray("[Other]\nQuality=") + value + "\n");
        EXPECT_EQ(ReadQuality(ini), expected) << '"' << value << '"';
    }
    writeBytes(ini, "[Other]\nPath=/x\n");
    EXPECT_EQ(ReadQuality(ini), 20) << "a missing key";
    ASSERT_TRUE(QFile::remove(ini));
    EXPECT_EQ(ReadQuality(ini), 20) << "a missing file";
}

Saved sample() {
    Saved values;
    values.jpeg = 1;
    values.gif = 0;
    values.bmp = 2;
    values.all = 0;
    values.quality = 35;
    values.path = QStringLiteral("/home/j\u00f6rg/Bilder");
    values.filename = QStringLiteral("Urlaub");
    values.extension = 1;
    return values;
}

TEST_F(Settings, WritesTheEightKeysInOrderAsPlainDecimal) {
    Write(ini, sample());
    EXPECT_EQ(readBytes(ini), QByteArray("[Files]\nJPEG=1\nGIF=0\nBMP=2\nALL=0\n"
                                         "[Other]\nQuality=35\nPath=/home/j\xC3\xB6rg/Bilder\n"
                                         "Filename=Urlaub\nExtension=1\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Kalmora.ini"});
}

TEST_F(Settings, WhatIsWrittenReadsBack) {
    const Saved values = sample();
    Write(ini, values);
    EXPECT_EQ(read(SectionFiles, KeyJpeg), QStringLiteral("1"));
    EXPECT_EQ(read(SectionFiles, KeyGif), QStringLiteral("0"));
    EXPECT_EQ(read(SectionFiles, KeyBmp), QStringLiteral("2"));
    EXPECT_EQ(read(SectionFiles, KeyAll), QStringLiteral("0"));
    EXPECT_EQ(ReadQuality(ini), 35);
    EXPECT_EQ(read(SectionOther, KeyPath), values.path) << "umlauts survive";
    EXPECT_EQ(read(SectionOther, KeyFilename), values.filename);
    EXPECT_EQ(read(SectionOther, KeyExtension), QStringLiteral("1"));
}

TEST_F(Settings, NoExtensionSelectedLeavesTheKeyAsItWas) {
    writeBytes(ini, "[Other]\nExtension=1\n");
    Saved values = sample();
    values.extension.reset();
    Write(ini, values);
    EXPECT_EQ(read(SectionOther, KeyExtension), QStringLiteral("1"));
    ASSERT_TRUE(QFile::remove(ini));
    Write(ini, values);
    EXPECT_EQ(read(SectionOther, KeyExtension), QStringLiteral("<default>"));
    EXPECT_FALSE(readBytes(ini).contains("Extension"));
}

TEST_F(Settings, WritingKeepsOtherSectionsKeysAndCommentsAndRepeatsExactly) {
    writeBytes(ini, "; written by hand\n\n[Other]\n; my folder\nPath=/old\nTheme=dark\n"
                    "[Plugins]\nfoo=bar\n");
    Write(ini, sample());
    const QByteArray once = readBytes(ini);
    for (const char* kept :
         {"; written by hand\n", "; my folder\n", "Theme=dark\n", "[Plugins]\n", "foo=bar\n"})
        EXPECT_TRUE(once.contains(kept)) << kept << " in\n" << once.toStdString();
    EXPECT_FALSE(once.contains("/old"));
    Write(ini, sample());
    EXPECT_EQ(readBytes(ini), once) << "the second close writes the same bytes";
}

TEST_F(Settings, AWriteThatFailsIsNotNoticed) {
    const QString below = ini + QStringLiteral("/Kalmora.ini");
    writeBytes(ini, "[Other]\nQuality=20\n");
    Write(below, sample());
    EXPECT_EQ(readBytes(ini), QByteArray("[Other]\nQuality=20\n"));
    const QString gone = dir.filePath(QStringLiteral("gone"));
    Write(IniFilePath(gone), sample());
    EXPECT_FALSE(QFileInfo::exists(gone));
}

TEST(SettingsOnTmpfs, AFullDiskKeepsTheOldFile) {
    testsupport::onTmpfs(QStringLiteral("size=16k"), [](const QString& folder) {
        const QString ini = IniFilePath(folder);
        Saved values = sample();
        Write(ini, values);
        const QByteArray old = readBytes(ini);
        QFile filler(folder + QStringLiteral("/filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        while (filler.write(QByteArray(4096, 'f')) == 4096 && filler.flush()) {
        }
        values.path = QString(5000, QLatin1Char('p'));
        Write(ini, values);
        EXPECT_EQ(readBytes(ini), old);
        EXPECT_EQ(ReadText(ini, SectionOther, KeyPath, {}), sample().path);
    });
}

} // namespace
