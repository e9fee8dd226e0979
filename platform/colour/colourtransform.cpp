#include "platform/colour/colourtransform.h"

#include "platform/colour/iccprofile.h"
#include "platform/colour/lcmscontext.h"
#include "platform/colour/matrixshaper.h"
#include "platform/colour/nclx.h"

#include <cmath>
#include <lcms2.h>

namespace platform {

namespace {

// Relative colorimetric with black-point compensation: colours that sRGB holds keep their exact
// values, the rest is clipped to sRGB's gamut, and a profile whose black is not sRGB's (print
// profiles) has it mapped onto sRGB's black, so shadows are neither lost nor washed out. For
// matrix-shaper profiles, which have no perceptual tables, every intent comes to this anyway.
constexpr cmsUInt32Number Intent = INTENT_RELATIVE_COLORIMETRIC;
constexpr cmsUInt32Number Flags = cmsFLAGS_BLACKPOINTCOMPENSATION;

// What the colour library may take for one picture: the tables of any transform it builds, and
// room for what a profile of this size can describe (its tables widened to 16 bits or floats).
std::size_t memoryBudget(std::size_t profileBytes) {
    return (std::size_t{4} << 20) + 16 * profileBytes;
}

// Samples of a curve given to the library as a table (it has no PQ or HLG curve of its own).
constexpr int CurveSamples = 4096;

cmsContext lcms(const LcmsContext& context) {
    return static_cast<cmsContext>(context.get());
}

struct ToneCurveFree {
    void operator()(cmsToneCurve* curve) const { cmsFreeToneCurve(curve); }
};
using ToneCurve = std::unique_ptr<cmsToneCurve, ToneCurveFree>;

cmsColorSpaceSignature spaceOf(SourcePixels source) {
    switch (source) {
    case SourcePixels::Gray8:
    case SourcePixels::Gray16:
        return cmsSigGrayData;
    case SourcePixels::Cmyk8:
    case SourcePixels::InvertedCmyk8:
        return cmsSigCmykData;
    default:
        return cmsSigRgbData;
    }
}

cmsUInt32Number formatOf(SourcePixels source) {
    switch (source) {
    case SourcePixels::Bgr8:
        return TYPE_BGR_8;
    case SourcePixels::Rgb8:
        return TYPE_RGB_8;
    case SourcePixels::Rgb16:
        return TYPE_RGB_16;
    case SourcePixels::Gray8:
        return TYPE_GRAY_8;
    case SourcePixels::Gray16:
        return TYPE_GRAY_16;
    case SourcePixels::Cmyk8:
        return TYPE_CMYK_8;
    case SourcePixels::InvertedCmyk8:
        return TYPE_CMYK_8_REV;
    }
    return 0;
}

// An embedded profile, when it is well formed, describes a device and fits the pixels.
LcmsProfile openIcc(cmsContext context, std::span<const std::uint8_t> icc, SourcePixels source) {
    const auto profile = wellFormedIccProfile(icc);
    if (!profile)
        return {};
    LcmsProfile opened(cmsOpenProfileFromMemTHR(context, profile->data(),
                                                static_cast<cmsUInt32Number>(profile->size())));
    if (!opened || cmsGetColorSpace(opened.get()) != spaceOf(source))
        return {};
    const cmsProfileClassSignature kind = cmsGetDeviceClass(opened.get());
    if (kind != cmsSigInputClass && kind != cmsSigDisplayClass && kind != cmsSigOutputClass &&
        kind != cmsSigColorSpaceClass)
        return {};
    return opened;
}

LcmsProfile rgbProfile(cmsContext context, const Chromaticities& c, cmsToneCurve* curve) {
    if (!curve)
        return {};
    const cmsCIExyY white = {c.white[0], c.white[1], 1.0};
    const cmsCIExyYTRIPLE primaries = {
        {c.red[0], c.red[1], 1.0}, {c.green[0], c.green[1], 1.0}, {c.blue[0], c.blue[1], 1.0}};
    cmsToneCurve* const curves[3] = {curve, curve, curve};
    return LcmsProfile(cmsCreateRGBProfileTHR(context, &white, &primaries, curves));
}

LcmsProfile nclxProfile(cmsContext context, const NclxColour& nclx, SourcePixels source) {
    std::vector<float> samples(CurveSamples);
    for (int i = 0; i < CurveSamples; ++i)
        samples[static_cast<std::size_t>(i)] =
            static_cast<float>(nclxToLinear(nclx.transfer, i / double(CurveSamples - 1)));
    const ToneCurve curve(cmsBuildTabulatedToneCurveFloat(context, CurveSamples, samples.data()));
    const Chromaticities primaries = nclxPrimaries(nclx.primaries);
    if (spaceOf(source) != cmsSigGrayData)
        return rgbProfile(context, primaries, curve.get());
    const cmsCIExyY white = {primaries.white[0], primaries.white[1], 1.0};
    return LcmsProfile(curve ? cmsCreateGrayProfileTHR(context, &white, curve.get()) : nullptr);
}

// Adobe RGB (1998), for the pictures whose EXIF block names it.
LcmsProfile adobeRgbProfile(cmsContext context) {
    const Chromaticities adobe = {{0.64, 0.33}, {0.21, 0.71}, {0.15, 0.06}, {0.3127, 0.3290}};
    const ToneCurve curve(cmsBuildGamma(context, 563.0 / 256));
    return rgbProfile(context, adobe, curve.get());
}

// An RGB profile's curves and colorants, when it converts through them alone: it has no tables
// that the library would prefer, its black is black (so that black-point compensation has
// nothing to do) and its colorants are plausible. The curves are read from the profile while it
// is open.
std::optional<MatrixShaperModel> matrixShaperOf(cmsHPROFILE profile) {
    if (cmsGetColorSpace(profile) != cmsSigRgbData || !cmsIsMatrixShaper(profile))
        return std::nullopt;
    for (const cmsTagSignature table : {cmsSigAToB0Tag, cmsSigAToB1Tag, cmsSigAToB2Tag,
                                        cmsSigDToB0Tag, cmsSigDToB1Tag, cmsSigDToB2Tag})
        if (cmsIsTag(profile, table))
            return std::nullopt;
    MatrixShaperModel model;
    std::array<const cmsToneCurve*, 3> curves{};
    const cmsTagSignature colorantTags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                             cmsSigBlueColorantTag};
    const cmsTagSignature curveTags[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (int c = 0; c < 3; ++c) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, colorantTags[c]));
        curves[c] = static_cast<const cmsToneCurve*>(cmsReadTag(profile, curveTags[c]));
        if (!xyz || !curves[c] || !(std::abs(cmsEvalToneCurveFloat(curves[c], 0)) < 1e-4f))
            return std::nullopt;
        model.colorants[c] = {xyz->X, xyz->Y, xyz->Z};
        // Colorants of real primaries, imaginary ones included, lie well inside this; larger ones
        // would make the fast path's tables huge.
        for (const double value : model.colorants[c])
            if (std::abs(value) > 2)
                return std::nullopt;
    }
    model.curve = [curves](int channel, double signal) {
        return static_cast<double>(cmsEvalToneCurveFloat(curves[static_cast<std::size_t>(channel)],
                                                         static_cast<cmsFloat32Number>(signal)));
    };
    return model;
}

// sRGB's colorants as the library makes sRGB, so that the fast path and the library agree. None
// when the library could not make its profile (memory ran out); the next picture tries again.
std::optional<MatrixShaperModel::Colorants> srgbColorants() {
    const auto made = []() -> std::optional<MatrixShaperModel::Colorants> {
        const LcmsProfile srgb(cmsCreate_sRGBProfile());
        const auto model = srgb ? matrixShaperOf(srgb.get()) : std::nullopt;
        if (!model)
            return std::nullopt;
        return model->colorants;
    };
    static const std::optional<MatrixShaperModel::Colorants> first = made();
    return first ? first : made();
}

} // namespace

struct ColourTransform::Impl {
    SourcePixels source;
    std::optional<MatrixShaper> fast;
    // Otherwise the library's transform, which lives in its context.
    std::unique_ptr<LcmsContext> context;
    LcmsTransform transform;
};

std::optional<ColourTransform> ColourTransform::toSrgb(const ColourDescription& colour,
                                                       SourcePixels source) {
    const bool rgb = spaceOf(source) == cmsSigRgbData;
    const bool nclxUsable = colour.nclx && spaceOf(source) != cmsSigCmykData;
    if (colour.icc.empty() && !nclxUsable && !(colour.exifAdobeRgb && rgb))
        return std::nullopt; // the common case pays nothing

    auto context = std::make_unique<LcmsContext>(memoryBudget(colour.icc.size()));
    const cmsContext library = lcms(*context);
    if (!library)
        return std::nullopt;
    // The first usable description counts: the profile, then nclx, then EXIF's word.
    LcmsProfile profile = openIcc(library, colour.icc, source);
    if (!profile && nclxUsable) {
        const NclxColour nclx = rgb ? *colour.nclx : NclxColour{1, colour.nclx->transfer};
        if (nclxIsSrgb(nclx))
            return std::nullopt;
        profile = nclxProfile(library, nclx, source);
    } else if (!profile && colour.exifAdobeRgb && rgb) {
        profile = adobeRgbProfile(library);
    }
    if (!profile)
        return std::nullopt;
    // The fast path, and telling sRGB by its content, need sRGB's colorants; without them the
    // library converts.
    const auto srgbReference = rgb ? srgbColorants() : std::nullopt;
    const auto model = srgbReference ? matrixShaperOf(profile.get()) : std::nullopt;
    if (model && isSrgb(*model, *srgbReference))
        return std::nullopt; // sRGB by its content, whatever the profile is called

    auto impl = std::make_unique<Impl>();
    impl->source = source;
    if (model) {
        impl->fast.emplace(*model, *srgbReference, source == SourcePixels::Rgb16);
        return ColourTransform(std::move(impl));
    }
    const LcmsProfile srgb(cmsCreate_sRGBProfileTHR(library));
    if (!srgb)
        return std::nullopt;
    impl->transform.reset(cmsCreateTransformTHR(library, profile.get(), formatOf(source),
                                                srgb.get(), TYPE_BGR_8, Intent, Flags));
    if (!impl->transform)
        return std::nullopt;
    impl->context = std::move(context);
    return ColourTransform(std::move(impl));
}

ColourTransform::ColourTransform(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ColourTransform::~ColourTransform() = default;
ColourTransform::ColourTransform(ColourTransform&&) noexcept = default;
ColourTransform& ColourTransform::operator=(ColourTransform&&) noexcept = default;

void ColourTransform::convertRow(const void* in, std::uint8_t* out, int width) const {
    if (impl_->fast)
        impl_->fast->convertRow(impl_->source, in, out, width);
    else
        cmsDoTransform(impl_->transform.get(), in, out, static_cast<cmsUInt32Number>(width));
}

} // namespace platform
