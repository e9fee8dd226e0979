#include "platform/files/filepattern.h"

#include <gtest/gtest.h>

using platform::FilePattern;

namespace {

struct Case {
    const char* pattern;
    const char* name;
    bool matches;
};

class FilePatternMatch : public ::testing::TestWithParam<Case> {};

TEST_P(FilePatternMatch, MatchesAsTheFileDialogsDo) {
    const Case& c = GetParam();
    EXPECT_EQ(FilePattern(QString::fromUtf8(c.pattern)).matches(QString::fromUtf8(c.name)),
              c.matches)
        << '"' << c.pattern << "\" against \"" << c.name << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Table, FilePatternMatch,
    ::testing::Values(
        // Extensions, without regard to case on either side.
        Case{"*.jpg", "x.jpg", true}, Case{"*.jpg", "X.JPG", true}, Case{"*.jpg", "x.Jpg", true},
        Case{"*.JPG", "x.jpg", true}, Case{"*.jpg", "x.jpeg", false},
        Case{"*.jpg", "x.jpg.bak", false}, Case{"*.jpg", "jpg", false},
        Case{"*.jpg", "x.jpg ", false},
        // "*.*" and friends: a trailing ".*" may match nothing at all.
        Case{"*.*", "README", true}, Case{"*.*", "000", true}, Case{"*.*", "a.b.c", true},
        Case{"*", "x", true}, Case{"Foto.*", "Foto", true}, Case{"Foto.*", "foto.JPG", true},
        Case{"Foto.*", "Fotos", false}, Case{"*.j*", "a", false}, Case{"*.j*", "a.J", true},
        // Several fragments, blanks around them, empty ones.
        Case{"*.jpg;*.bmp", "a.BMP", true}, Case{"*.jpg;*.bmp", "a.gif", false},
        Case{" *.jpg ; *.gif ", "a.gif", true}, Case{"*.jpg;;", "a.jpg", true},
        Case{"", "a", false}, Case{";;", "a", false}, Case{" ", "a", false},
        // "?" is exactly one character, a pair of surrogates included.
        Case{"Foto???.jpg", "Foto001.jpg", true}, Case{"Foto???.jpg", "Foto01.jpg", false},
        Case{"Foto???.jpg", "foto0001.jpg", false}, Case{"*.jp?", "a.jp", false},
        Case{"?.jpg", "\xF0\x9F\x98\x80.jpg", true}, Case{"??.jpg", "\xF0\x9F\x98\x80.jpg", false},
        // Stars in the middle, going back where needed.
        Case{"a*b*c", "abc", true}, Case{"a*b*c", "aXXbYYc", true}, Case{"a*b*c", "acb", false},
        Case{"a*b*c", "abcbc", true}, Case{"*a*a*a", "aaaa", true}, Case{"*a*a*a", "aab", false},
        // Exact names and letters beyond ASCII.
        Case{"x", "X", true}, Case{"x", "xx", false},
        Case{"\xC3\xA4*.jpg", "\xC3\x84rger.JPG", true},
        Case{"*\xC3\x9F.gif", "FU\xC3\x9F.GIF", true}));

TEST(FilePattern, KnowsWhenItIsEmpty) {
    EXPECT_TRUE(FilePattern().isEmpty());
    EXPECT_TRUE(FilePattern(QStringLiteral(" ; ")).isEmpty());
    EXPECT_FALSE(FilePattern(QStringLiteral("*.*")).isEmpty());
    EXPECT_FALSE(FilePattern(QStringLiteral("*.gif")).isEmpty());
}

} // namespace
