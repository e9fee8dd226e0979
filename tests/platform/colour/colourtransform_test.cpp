#include "platform/colour/colourtransform.h"
#include "support/colourpatches.h"

#include <gtest/gtest.h>
#include <lcms2.h>
#include <random>
#include <tuple>
#include <utility>

using platform::ColourDescription;
using platform::ColourTransform;
using enum platform::SourcePixels;
using namespace testsupport;

namespace {

ColourDescription icc(const QByteArray& profile) {
    return {{profile.begin(), profile.end()}, std::nullopt, false};
}
ColourDescription nclx(int primaries, int transfer) {
    return {{}, platform::NclxColour{primaries, transfer}, false};
}

const QByteArray p3 = QColorSpace(QColorSpace::DisplayP3).iccProfile();

// The profile with the big-endian 32-bit field at `at` replaced.
QByteArray patched(QByteArray profile, int at, quint32 value) {
    for (int i = 0; i < 4; ++i)
        profile[at + i] = static_cast<char>(value >> (24 - 8 * i));
    return profile;
}

struct Untouched {
    const char* name;
    ColourDescription colour;
    platform::SourcePixels source;
};

class NeedsNoTransform : public testing::TestWithParam<Untouched> {};

TEST_P(NeedsNoTransform, GetsNone) {
    EXPECT_FALSE(ColourTransform::toSrgb(GetParam().colour, GetParam().source));
}

INSTANTIATE_TEST_SUITE_P(
    Descriptions, NeedsNoTransform,
    testing::Values(Untouched{"Untagged", {}, Bgr8},
                    Untouched{"QtSrgb", icc(QColorSpace(QColorSpace::SRgb).iccProfile()), Rgb16},
                    Untouched{"DebianSrgb", icc(iccProfileFile("sRGB.icc")), Bgr8},
                    Untouched{"GhostscriptSrgb", icc(iccProfileFile("ghostscript/srgb.icc")), Rgb8},
                    Untouched{"NclxUnspecified", nclx(2, 2), Rgb16},
                    Untouched{"NclxBt709", nclx(1, 1), Rgb8},
                    Untouched{"NclxSrgb", nclx(1, 13), Bgr8},
                    Untouched{"NclxGreySrgbCurve", nclx(9, 13), Gray16},
                    Untouched{"CmykProfileForRgb",
                              icc(iccProfileFile("ghostscript/default_cmyk.icc")), Bgr8},
                    Untouched{"RgbProfileForCmyk", icc(p3), InvertedCmyk8},
                    Untouched{"Truncated", icc(p3.left(p3.size() / 2)), Bgr8},
                    Untouched{"SizeBeyondTheData", icc(patched(p3, 0, 1u << 30)), Bgr8},
                    Untouched{"TagOutside", icc(patched(p3, 136, 0x7FFFFFF0)), Bgr8},
                    Untouched{"AbsurdTagCount", icc(patched(p3, 128, 0x0FFFFFFF)), Bgr8},
                    Untouched{"NoProfile", icc(QByteArray(600, 'x')), Bgr8}),
    [](const auto& info) { return std::string(info.param.name); });

struct Reference {
    const char* name;
    QByteArray profile;
    platform::SourcePixels source;
};

class MatrixShaperProfiles : public testing::TestWithParam<Reference> {};

// Random pixels cover every level of every channel many times over. The reference is the
// library's exact conversion: its optimised one strays by up to 6 levels on 16-bit ProPhoto.
TEST_P(MatrixShaperProfiles, ComeWithinALevelOfLittleCms) {
    const auto [name, profile, source] = GetParam();
    const cmsUInt32Number format = source == Rgb16  ? TYPE_RGB_16
                                   : source == Bgr8 ? TYPE_BGR_8
                                                    : TYPE_RGB_8;
    std::mt19937 random(7);
    std::vector<std::uint16_t> wide(3 * 100000);
    std::vector<std::uint8_t> narrow(wide.size()), ours(wide.size()), theirs(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i)
        narrow[i] = static_cast<std::uint8_t>(wide[i] = static_cast<std::uint16_t>(random()));
    const void* in = source == Rgb16 ? static_cast<const void*>(wide.data()) : narrow.data();
    ColourTransform::toSrgb(icc(profile), source)->convertRow(in, ours.data(), 100000);
    cmsHPROFILE opened = cmsOpenProfileFromMem(profile.constData(), profile.size());
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM exact =
        cmsCreateTransform(opened, format, srgb, TYPE_BGR_8, INTENT_RELATIVE_COLORIMETRIC,
                           cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOOPTIMIZE);
    cmsDoTransform(exact, in, theirs.data(), 100000);
    cmsDeleteTransform(exact);
    cmsCloseProfile(srgb);
    cmsCloseProfile(opened);
    for (std::size_t i = 0; i < ours.size(); ++i)
        ASSERT_NEAR(ours[i], theirs[i], 1) << "at byte " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, MatrixShaperProfiles,
    testing::Values(Reference{"DisplayP3", p3, Bgr8},
                    Reference{"AdobeRgb", iccProfileFile("ghostscript/a98.icc"), Rgb8},
                    Reference{"ProPhoto", iccProfileFile("ghostscript/rommrgb.icc"), Rgb16}),
    [](const auto& info) { return std::string(info.param.name); });

// BT.2020 greys as a 12-bit picture hands them over (widened to 16 bits). Diffuse white
// (203 cd/m2) is PQ 2378 and HLG 3071 (75%); 18% of it is PQ 1683 and HLG 1786.
TEST(HdrPictures, ComeOutAsPlausibleSdrPictures) {
    for (const auto& [transfer, white, grey] : {std::tuple{16, 2378, 1683}, {18, 3071, 1786}}) {
        const auto transform = ColourTransform::toSrgb(nclx(9, transfer), Rgb16);
        ASSERT_TRUE(transform);
        const auto level = [&](int signal) {
            const auto v = static_cast<std::uint16_t>(signal * 65535 / 4095);
            const std::uint16_t pixel[3] = {v, v, v};
            std::uint8_t out[3];
            transform->convertRow(pixel, out, 1);
            EXPECT_TRUE(out[0] == out[1] && out[1] == out[2]) << "grey stays grey";
            return int{out[0]};
        };
        EXPECT_GE(level(white), 240) << transfer;      // near SDR white
        EXPECT_NEAR(level(grey), 118, 10) << transfer; // as an SDR picture shows 18% grey
        int previous = 0;
        for (int v = 0; v <= 4095; v += 5) // no garbage: dark to light, up to white
            EXPECT_GE(level(v), std::exchange(previous, level(v)));
        EXPECT_GE(previous, 254);
    }
}

} // namespace
