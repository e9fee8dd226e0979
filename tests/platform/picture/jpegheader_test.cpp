#include "platform/picture/jpegheader.h"

#include <array>
#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

using platform::readJpegHeader;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes segment(std::uint8_t marker, const Bytes& payload) {
    const auto length = payload.size() + 2;
    Bytes out{0xFF, marker, static_cast<std::uint8_t>(length >> 8),
              static_cast<std::uint8_t>(length & 0xFF)};
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes frame(std::uint8_t marker, int precision, int width, int height, int components) {
    Bytes payload{static_cast<std::uint8_t>(precision), static_cast<std::uint8_t>(height >> 8),
                  static_cast<std::uint8_t>(height),    static_cast<std::uint8_t>(width >> 8),
                  static_cast<std::uint8_t>(width),     static_cast<std::uint8_t>(components)};
    for (int i = 0; i < components; ++i)
        payload.insert(payload.end(), {static_cast<std::uint8_t>(i + 1), 0x11, 0});
    return segment(marker, payload);
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes soi{0xFF, 0xD8};
const Bytes sos = segment(0xDA, {1, 1, 0, 0, 63, 0});
const Bytes app0 = segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
const Bytes adobe = segment(0xEE, {'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 0});
const Bytes exif6 = segment(0xE1, {'E', 'x', 'i',  'f',  0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
                                   1,   0,   0x12, 0x01, 3, 0, 1,   0,   0,  0, 6, 0, 0, 0});

TEST(JpegHeader, ReadsSizeColoursOrientationAndAdobeMark) {
    const auto header =
        readJpegHeader(join({soi, app0, exif6, adobe, frame(0xC2, 8, 4000, 3000, 4), sos}));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->width, 4000);
    EXPECT_EQ(header->height, 3000);
    EXPECT_EQ(header->components, 4);
    EXPECT_EQ(header->frameMarker, 0xC2);
    EXPECT_EQ(header->orientation, 6);
    EXPECT_TRUE(header->adobe);
    EXPECT_TRUE(header->decodable());
}

TEST(JpegHeader, SkipsStrayBytesAndFillBytesBetweenSegmentsLikeTheLibrary) {
    const Bytes stray{0x12, 0x34, 0xFF, 0x00, 0x56, 0xFF, 0xFF};
    const auto header = readJpegHeader(join({soi, stray, frame(0xC0, 8, 7, 5, 3), stray, sos}));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->width, 7);
    EXPECT_EQ(header->orientation, 1);
    EXPECT_FALSE(header->adobe);
}

struct Refused {
    const char* name;
    Bytes data;
};

class JpegHeaderRefused : public testing::TestWithParam<Refused> {};

TEST_P(JpegHeaderRefused, HasNoHeader) {
    EXPECT_FALSE(readJpegHeader(GetParam().data));
}

INSTANTIATE_TEST_SUITE_P(
    Streams, JpegHeaderRefused,
    testing::Values(Refused{"NoStartMarker", join({app0, frame(0xC0, 8, 7, 5, 3), sos})},
                    Refused{"OnlyStartMarker", soi}, Refused{"NoFrame", join({soi, app0, sos})},
                    Refused{"NoScan", join({soi, frame(0xC0, 8, 7, 5, 3)})},
                    Refused{"EndBeforeScan", join({soi, frame(0xC0, 8, 7, 5, 3), {0xFF, 0xD9}})},
                    Refused{"TwoFrames",
                            join({soi, frame(0xC0, 8, 7, 5, 3), frame(0xC0, 8, 9, 9, 3), sos})},
                    Refused{"SegmentPastEnd", join({soi, {0xFF, 0xE1, 0x40, 0x00, 1, 2, 3}})},
                    Refused{"LengthBelowTwo", join({soi, {0xFF, 0xE1, 0x00, 0x01}, sos})},
                    Refused{"ShortFrame", join({soi, segment(0xC0, {8, 0, 5}), sos})}),
    [](const auto& info) { return std::string(info.param.name); });

struct Kind {
    const char* name;
    std::uint8_t marker;
    int precision;
    int components;
    int width;
    bool decodable;
};

class JpegHeaderKinds : public testing::TestWithParam<Kind> {};

TEST_P(JpegHeaderKinds, TellWhatWeDecode) {
    const Kind& k = GetParam();
    const auto header =
        readJpegHeader(join({soi, frame(k.marker, k.precision, k.width, 5, k.components), sos}));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->decodable(), k.decodable);
}

INSTANTIATE_TEST_SUITE_P(Frames, JpegHeaderKinds,
                         testing::Values(Kind{"Baseline", 0xC0, 8, 3, 7, true},
                                         Kind{"Extended", 0xC1, 8, 3, 7, true},
                                         Kind{"Progressive", 0xC2, 8, 1, 7, true},
                                         Kind{"Arithmetic", 0xC9, 8, 3, 7, true},
                                         Kind{"ArithmeticProgressive", 0xCA, 8, 4, 7, true},
                                         Kind{"Lossless", 0xC3, 8, 3, 7, false},
                                         Kind{"Hierarchical", 0xC5, 8, 3, 7, false},
                                         Kind{"TwelveBit", 0xC0, 12, 3, 7, false},
                                         Kind{"TwoColours", 0xC0, 8, 2, 7, false},
                                         Kind{"NoWidth", 0xC0, 8, 3, 0, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// APP2 segments with parts of an ICC profile: number, count, one byte of the profile.
Bytes iccParts(std::initializer_list<std::array<std::uint8_t, 3>> parts) {
    Bytes out;
    for (const auto& [number, count, byte] : parts)
        out = join({out, segment(0xE2, {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0,
                                        number, count, byte})});
    return out;
}

TEST(JpegHeader, JoinsIccPartsInOrderOrLeavesThemOut) {
    const auto profile = [](const Bytes& segments) {
        return readJpegHeader(join({soi, segments, frame(0xC0, 8, 7, 5, 3), sos}))->colour.icc;
    };
    EXPECT_EQ(profile(join({iccParts({{2, 3, 5}}), app0, iccParts({{3, 3, 6}, {1, 3, 4}})})),
              (Bytes{4, 5, 6}));
    EXPECT_EQ(profile(iccParts({{1, 2, 1}, {2, 3, 2}})), Bytes{}) << "counts disagree";
    EXPECT_EQ(profile(iccParts({{1, 3, 1}, {3, 3, 3}})), Bytes{}) << "a part missing";
    EXPECT_EQ(profile(iccParts({{1, 2, 1}, {1, 2, 1}})), Bytes{}) << "a part repeated";
    EXPECT_EQ(profile(iccParts({{0, 1, 1}})), Bytes{}) << "numbered from 0";
}

} // namespace
