#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace platform {

// A HEIF/AVIF colour description by code points (ITU-T H.273): 1 = BT.709 primaries, 12 = Display
// P3, 9 = BT.2020; transfer 13 = sRGB, 1/6/14/15 = BT.709-like, 16 = PQ, 18 = HLG, 2 = unspecified.
// The decoder has already turned YCbCr into RGB, so only primaries and transfer are left to use.
struct NclxColour {
    int primaries = 2;
    int transfer = 2;
};

// How a picture's file says its pixel values are to be read.
struct ColourDescription {
    std::vector<std::uint8_t> icc;   // an embedded ICC profile (whole, segments joined), or empty
    std::optional<NclxColour> nclx;  // a HEIF nclx description, used when there is no profile
    bool exifAdobeRgb = false;       // EXIF marks Adobe RGB without a profile (ColorSpace 0xFFFF
                                     // with interoperability index "R03"), used when nothing else
};

// The pixel layout of the rows a decoder hands over. 16-bit samples are native-endian and span
// 0 to 65535 whatever the file's depth; alpha has already been put on white.
enum class SourcePixels { Bgr8, Rgb8, Rgb16, Gray8, Gray16, Cmyk8, InvertedCmyk8 };

// Turns rows of one picture into sRGB blue-green-red rows. Made once per picture, then used for
// each row; safe to use for rows of any order.
class ColourTransform {
public:
    // The transform for a picture, or nothing when its rows need no conversion: untagged, tagged
    // with sRGB (recognised by content, not name), an nclx with unspecified or BT.709 primaries
    // and an sRGB, BT.709 or unspecified transfer, or a profile that is broken, truncated or
    // hostile (such a picture counts as untagged: it never fails because of its profile).
    // A CMYK or grey source always gets a transform when it has a usable profile.
    static std::optional<ColourTransform> toSrgb(const ColourDescription& colour,
                                                 SourcePixels source);
    ~ColourTransform();
    ColourTransform(ColourTransform&&) noexcept;
    ColourTransform& operator=(ColourTransform&&) noexcept;

    // Converts `width` pixels from `in` (laid out as the source) into `out` (3 bytes a pixel,
    // blue-green-red). For a Bgr8 source, in and out may be the same row.
    void convertRow(const void* in, std::uint8_t* out, int width) const;

private:
    struct Impl;
    explicit ColourTransform(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace platform
