#include "platform/picture/exiforientation.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

using platform::exifOrientation;

namespace {

// A TIFF block built by hand: header, one directory with the given entries.
struct Entry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    std::uint32_t value; // SHORT values sit in the first two bytes of the field
};

class Tiff {
public:
    explicit Tiff(bool bigEndian) : big_(bigEndian) {
        bytes_ = big_ ? std::vector<std::uint8_t>{'M', 'M'} : std::vector<std::uint8_t>{'I', 'I'};
        u16(42);
    }
    Tiff& directoryAt(std::uint32_t offset) {
        u32(offset);
        bytes_.resize(offset, 0);
        return *this;
    }
    Tiff& entries(const std::vector<Entry>& list, int declaredCount = -1) {
        u16(declaredCount < 0 ? static_cast<std::uint32_t>(list.size())
                              : static_cast<std::uint32_t>(declaredCount));
        for (const Entry& e : list) {
            u16(e.tag);
            u16(e.type);
            u32(e.count);
            if (e.type == 3) {
                u16(e.value);
                u16(0);
            } else {
                u32(e.value);
            }
        }
        return *this;
    }
    std::vector<std::uint8_t> bytes() const { return bytes_; }

private:
    void u16(std::uint32_t v) {
        if (big_) {
            bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
            bytes_.push_back(static_cast<std::uint8_t>(v));
        } else {
            bytes_.push_back(static_cast<std::uint8_t>(v));
            bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
        }
    }
    void u32(std::uint32_t v) {
        if (big_) {
            u16(v >> 16);
            u16(v & 0xFFFF);
        } else {
            u16(v & 0xFFFF);
            u16(v >> 16);
        }
    }

    bool big_;
    std::vector<std::uint8_t> bytes_;
};

constexpr Entry orientation(std::uint32_t value) {
    return {0x0112, 3, 1, value};
}

class ExifOrientationValues : public testing::TestWithParam<std::tuple<bool, int>> {};

TEST_P(ExifOrientationValues, AreReadInEitherByteOrder) {
    const auto [bigEndian, value] = GetParam();
    const auto tiff = Tiff(bigEndian)
                          .directoryAt(8)
                          .entries({{0x010F, 2, 4, 0},
                                    orientation(static_cast<std::uint32_t>(value)),
                                    {0x0132, 2, 20, 0}})
                          .bytes();
    EXPECT_EQ(exifOrientation(tiff), value);
}

INSTANTIATE_TEST_SUITE_P(AllValues, ExifOrientationValues,
                         testing::Combine(testing::Bool(), testing::Range(1, 9)));

struct HostileCase {
    const char* name;
    std::vector<std::uint8_t> tiff;
};

std::vector<std::uint8_t> truncated(std::vector<std::uint8_t> bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

class ExifOrientationHostile : public testing::TestWithParam<HostileCase> {};

TEST_P(ExifOrientationHostile, FallsBackToUpright) {
    EXPECT_EQ(exifOrientation(GetParam().tiff), platform::OrientationUpright);
}

const std::vector<std::uint8_t> valid =
    Tiff(false).directoryAt(8).entries({orientation(6)}).bytes();

INSTANTIATE_TEST_SUITE_P(
    Blocks, ExifOrientationHostile,
    testing::Values(
        HostileCase{"Empty", {}}, HostileCase{"NotTiff", {'X', 'X', 42, 0, 8, 0, 0, 0}},
        HostileCase{"WrongMagic", {'I', 'I', 43, 0, 8, 0, 0, 0}},
        HostileCase{"DirectoryPastEnd", Tiff(false).directoryAt(8).bytes()},
        HostileCase{"DirectoryOffsetHuge", {'I', 'I', 42, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
        HostileCase{"DirectoryOffsetWraps", {'M', 'M', 0, 42, 0xFF, 0xFF, 0xFF, 0xFE, 0, 1}},
        HostileCase{"CountBeyondData",
                    Tiff(true).directoryAt(8).entries({{0x010F, 2, 4, 0}}, 0xFFFF).bytes()},
        HostileCase{"EntryCutShort", truncated(valid, valid.size() - 4)},
        HostileCase{"ValueZero", Tiff(false).directoryAt(8).entries({orientation(0)}).bytes()},
        HostileCase{"ValueNine", Tiff(false).directoryAt(8).entries({orientation(9)}).bytes()},
        HostileCase{"WrongType", Tiff(false).directoryAt(8).entries({{0x0112, 4, 1, 6}}).bytes()},
        HostileCase{"NoValues", Tiff(false).directoryAt(8).entries({{0x0112, 3, 0, 6}}).bytes()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExifOrientation, IsFoundBehindOtherEntriesAtAnyDirectoryOffset) {
    const auto tiff =
        Tiff(false).directoryAt(40).entries({{0x0100, 4, 1, 640}, orientation(8)}).bytes();
    EXPECT_EQ(exifOrientation(tiff), 8);
}

} // namespace
