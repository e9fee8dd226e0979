#include "platform/colour/colourtransform.h"
#include "support/colourpatches.h"

#include <cmath>
#include <gtest/gtest.h>
#include <lcms2.h>
#include <random>
#include <utility>

using platform::ColourDescription;
using platform::ColourTransform;
using platform::SourcePixels;
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

// A table profile whose table claims 255 grid points a channel (100 MB) in 220 KB of data.
QByteArray hugeTableClaim() {
    QByteArray profile = tableDisplayP3Profile();
    profile[profile.indexOf("mft2") + 10] = static_cast<char>(255);
    return profile;
}

struct Untouched {
    const char* name;
    ColourDescription colour;
    SourcePixels source;
};

class NeedsNoTransform : public testing::TestWithParam<Untouched> {};

TEST_P(NeedsNoTransform, GetsNone) {
    EXPECT_FALSE(ColourTransform::toSrgb(GetParam().colour, GetParam().source));
}

INSTANTIATE_TEST_SUITE_P(
    Descriptions, NeedsNoTransform,
    testing::Values(
        Untouched{"Untagged", {}, SourcePixels::Bgr8},
        Untouched{"QtSrgb", icc(QColorSpace(QColorSpace::SRgb).iccProfile()), SourcePixels::Rgb16},
        Untouched{"DebianSrgb", icc(iccProfileFile("sRGB.icc")), SourcePixels::Bgr8},
        Untouched{"GhostscriptSrgb", icc(iccProfileFile("ghostscript/srgb.icc")),
                  SourcePixels::Rgb8},
        Untouched{"NclxUnspecified", nclx(2, 2), SourcePixels::Rgb16},
        Untouched{"NclxBt709", nclx(1, 1), SourcePixels::Rgb8},
        Untouched{"NclxSrgb", nclx(1, 13), SourcePixels::Bgr8},
        Untouched{"NclxWideGamutGreyWithSrgbTransfer", nclx(9, 13), SourcePixels::Gray16},
        Untouched{"CmykProfileForRgb", icc(iccProfileFile("ghostscript/default_cmyk.icc")),
                  SourcePixels::Bgr8},
        Untouched{"RgbProfileForCmyk", icc(p3), SourcePixels::InvertedCmyk8},
        Untouched{"Truncated", icc(p3.left(p3.size() / 2)), SourcePixels::Bgr8},
        Untouched{"SizeBeyondTheData", icc(patched(p3, 0, 1u << 30)), SourcePixels::Bgr8},
        Untouched{"TagOutside", icc(patched(p3, 136, 0x7FFFFFF0)), SourcePixels::Bgr8},
        Untouched{"AbsurdTagCount", icc(patched(p3, 128, 0x0FFFFFFF)), SourcePixels::Bgr8},
        Untouched{"NoProfile", icc(QByteArray(600, 'x')), SourcePixels::Bgr8},
        Untouched{"HugeTableClaim", icc(hugeTableClaim()), SourcePixels::Bgr8}),
    [](const auto& info) { return std::string(info.param.name); });

struct Reference {
    const char* name;
    QByteArray profile;
    SourcePixels source;
};

class MatrixShaperProfiles : public testing::TestWithParam<Reference> {};

// Random pixels cover every level of every channel many times over.
TEST_P(MatrixShaperProfiles, ComeWithinALevelOfLittleCms) {
    const auto [name, profile, source] = GetParam();
    const bool deep = source == SourcePixels::Rgb16;
    std::mt19937 random(7);
    std::vector<std::uint16_t> wide(3 * 100000);
    std::vector<std::uint8_t> narrow(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i)
        narrow[i] = static_cast<std::uint8_t>(wide[i] = static_cast<std::uint16_t>(random()));
    const void* in = deep ? static_cast<const void*>(wide.data()) : narrow.data();

    const auto transform = ColourTransform::toSrgb(icc(profile), source);
    ASSERT_TRUE(transform);
    std::vector<std::uint8_t> ours(narrow.size()), theirs(narrow.size());
    transform->convertRow(in, ours.data(), 100000);
    cmsHPROFILE opened = cmsOpenProfileFromMem(profile.constData(), profile.size());
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    const cmsUInt32Number format = deep                           ? TYPE_RGB_16
                                   : source == SourcePixels::Bgr8 ? TYPE_BGR_8
                                                                  : TYPE_RGB_8;
    cmsHTRANSFORM reference =
        cmsCreateTransform(opened, format, srgb, TYPE_BGR_8, INTENT_RELATIVE_COLORIMETRIC,
                           cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOOPTIMIZE);
    cmsDoTransform(reference, in, theirs.data(), 100000);
    cmsDeleteTransform(reference);
    cmsCloseProfile(srgb);
    cmsCloseProfile(opened);
    for (std::size_t i = 0; i < ours.size(); ++i)
        ASSERT_NEAR(ours[i], theirs[i], 1) << "at byte " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, MatrixShaperProfiles,
    testing::Values(
        Reference{"DisplayP3", p3, SourcePixels::Bgr8},
        Reference{"AdobeRgb", iccProfileFile("ghostscript/a98.icc"), SourcePixels::Rgb8},
        Reference{"ProPhoto", iccProfileFile("ghostscript/rommrgb.icc"), SourcePixels::Rgb16},
        Reference{"LStar", iccProfileFile("LStar-RGB.icc"), SourcePixels::Bgr8}),
    [](const auto& info) { return std::string(info.param.name); });

// SMPTE ST 2084 and BT.2100 HLG: light to signal.
double pqSignal(double candelas) {
    const double y = std::pow(candelas / 10000, 2610.0 / 16384);
    return std::pow((3424.0 / 4096 + 2413.0 / 128 * y) / (1 + 2392.0 / 128 * y), 2523.0 / 32);
}
double hlgSignal(double candelas) {
    return std::sqrt(3 * std::pow(candelas / 1000, 1 / 1.2)); // below a twelfth of the peak
}

// BT.2020 greys as a 12-bit picture hands them over: widened to 16 bits.
TEST(HdrPictures, ComeOutAsPlausibleSdrPictures) {
    for (const int transfer : {16, 18}) {
        const auto signal = transfer == 16 ? pqSignal : hlgSignal;
        const auto transform = ColourTransform::toSrgb(nclx(9, transfer), SourcePixels::Rgb16);
        ASSERT_TRUE(transform);
        const auto level = [&](double s) {
            const auto v = static_cast<std::uint16_t>(std::lround(s * 4095) * 65535 / 4095);
            const std::uint16_t grey[3] = {v, v, v};
            std::uint8_t out[3];
            transform->convertRow(grey, out, 1);
            EXPECT_TRUE(out[0] == out[1] && out[1] == out[2]) << "grey stays grey";
            return int{out[0]};
        };
        // Diffuse white (203 cd/m2, HLG's 75%) near SDR white; 18% of it as SDR shows it (118).
        EXPECT_GE(level(transfer == 16 ? pqSignal(203) : 0.75), 240) << transfer;
        EXPECT_NEAR(level(signal(0.18 * 203)), 118, 10) << transfer;
        int previous = 0;
        for (int v = 0; v <= 4095; v += 5) // no garbage: dark to light, up to white
            EXPECT_GE(level(v / 4095.0), std::exchange(previous, level(v / 4095.0)));
        EXPECT_GE(previous, 254);
    }
}

} // namespace
