#include "platform/errors/runtimeerror.h"
#include "platform/windows/numbertext.h"
#include "support/errornumber.h"

#include <gtest/gtest.h>

namespace {

struct Converts {
    const char* text;
    int value;
};

class ToIntegerConverts : public ::testing::TestWithParam<Converts> {};

TEST_P(ToIntegerConverts, ToTheExpectedValue) {
    EXPECT_EQ(platform::toInteger(QString::fromUtf8(GetParam().text)), GetParam().value)
        << "text \"" << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ToIntegerConverts,
    ::testing::Values(Converts{"0", 0}, Converts{"1", 1}, Converts{"2", 2}, Converts{"01", 1},
                      Converts{" 1", 1}, Converts{"1 ", 1}, Converts{"\t2\t", 2}, Converts{"+1", 1},
                      Converts{"-1", -1}, Converts{"-0", 0}, Converts{"1.0", 1}, Converts{"1.", 1},
                      Converts{".9", 1}, Converts{"1.4", 1}, Converts{"0.5", 0}, Converts{"1.5", 2},
                      Converts{"2.5", 2}, Converts{"-1.5", -2}, Converts{"1e0", 1},
                      Converts{"1E1", 10}, Converts{"25e-1", 2}, Converts{"1e-400", 0},
                      Converts{"32767", 32767}, Converts{"-32768", -32768},
                      Converts{"32767.4", 32767}, Converts{"&H1", 1}, Converts{"&h7fff", 32767},
                      Converts{"&HFFFF", -1}, Converts{"&H8000", -32768},
                      Converts{"&HFFFFFFFF", -1}, Converts{"&O17", 15}, Converts{"True", -1},
                      Converts{"false", 0}, Converts{" FALSE ", 0}));

struct Fails {
    const char* text;
    int error;
};

class ToIntegerFails : public ::testing::TestWithParam<Fails> {};

TEST_P(ToIntegerFails, WithTheExpectedError) {
    EXPECT_EQ(
        testsupport::errorNumber([&] { platform::toInteger(QString::fromUtf8(GetParam().text)); }),
        GetParam().error)
        << "text \"" << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ToIntegerFails,
    ::testing::Values(
        Fails{"", platform::ErrTypeMismatch}, Fails{"  ", platform::ErrTypeMismatch},
        Fails{"x", platform::ErrTypeMismatch}, Fails{"1x", platform::ErrTypeMismatch},
        Fails{"1 2", platform::ErrTypeMismatch}, Fails{"1,0", platform::ErrTypeMismatch},
        Fails{".", platform::ErrTypeMismatch}, Fails{"1e", platform::ErrTypeMismatch},
        Fails{"--1", platform::ErrTypeMismatch}, Fails{"&H", platform::ErrTypeMismatch},
        Fails{"&HG", platform::ErrTypeMismatch}, Fails{"&O8", platform::ErrTypeMismatch},
        Fails{"Truex", platform::ErrTypeMismatch}, Fails{"32768", platform::ErrOverflow},
        Fails{"-32769", platform::ErrOverflow}, Fails{"32767.5", platform::ErrOverflow},
        Fails{"1e5", platform::ErrOverflow}, Fails{"1e400", platform::ErrOverflow},
        Fails{"&H10000", platform::ErrOverflow}, Fails{"&H100000000", platform::ErrOverflow}));

// A float joined to a text: its shortest decimal form, never with an exponent.
TEST(NumberText, WritesTheShortestDecimalFormOfASingle) {
    const std::pair<float, const char*> cases[] = {
        {0.0f, "0"},       {1.0f, "1"},
        {10.0f, "10"},     {32768.0f, "32768"},
        {1e6f, "1000000"}, {16777216.0f, "16777216"},
        {0.1f, "0.1"},     {2.5f, "2.5"},
        {-3.0f, "-3"},     {1.0f / 3, "0.33333334"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(platform::numberText(value), QString::fromLatin1(text)) << value;
}

} // namespace
