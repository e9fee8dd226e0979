// The names of the outputs: folder, base name, running number, extension.
#include "conversion/outputname.h"
#include "support/qtprinters.h"

#include <gtest/gtest.h>

namespace {

using conversion::OutputExtension;
using conversion::OutputPath;
using conversion::RunningNumber;

TEST(OutputName, RunningNumbersHaveAtLeastThreeDigitsAndGoOnPast16Bits) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, "000"},
        {9, "009"},
        {10, "010"},
        {99, "099"},
        {100, "100"},
        {999, "999"},
        {1000, "1000"},
        {32767, "32767"},
        {32768, "32768"},
        {65536, "65536"},
        {2147483647, "2147483647"},
    };
    for (const auto& [index, text] : cases)
        EXPECT_EQ(RunningNumber(index), QString::fromLatin1(text)) << index;
}

TEST(OutputName, TheSmallExtensionIsAskedFirst) {
    EXPECT_EQ(OutputExtension(true, false), ".jpg");
    EXPECT_EQ(OutputExtension(true, true), ".jpg");
    EXPECT_EQ(OutputExtension(false, true), ".JPG");
    EXPECT_EQ(OutputExtension(false, false), "");
}

TEST(OutputName, FolderAndBaseAreUsedUnchanged) {
    EXPECT_EQ(OutputPath("/p", "Foto", 7, ".jpg"), "/p/Foto007.jpg");
    EXPECT_EQ(OutputPath("/", "Foto", 1000, ".JPG"), "//Foto1000.JPG");
    EXPECT_EQ(OutputPath("/p/", "", 12, ""), "/p//012");
    EXPECT_EQ(OutputPath("/p", "Bild ä", 0, ".jpg"), "/p/Bild ä000.jpg");
}

} // namespace
