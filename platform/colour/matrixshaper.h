#pragma once

#include "platform/colour/colourtransform.h"

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace platform {

// An RGB matrix-shaper profile as numbers: per channel a curve from signal to linear light (both
// 0 to 1), and the colorants, the profile connection space's XYZ of full red, green and blue.
struct MatrixShaperModel {
    using Colorants = std::array<std::array<double, 3>, 3>; // [channel][X, Y, Z]

    std::function<double(int channel, double signal)> curve;
    Colorants colorants;
};

// Whether the model is sRGB's (whose colorants are given), within what the rounding in the usual
// sRGB profiles explains: no channel's curve strays by half a level from sRGB's, no colorant by
// more than profiles round.
bool isSrgb(const MatrixShaperModel& model, const MatrixShaperModel::Colorants& srgb);

// The fast conversion of RGB rows (Bgr8, Rgb8, Rgb16) described by a matrix-shaper model into
// sRGB: a table per channel gives the channel's share of linear sRGB light (its curve times its
// column of the matrix) as one small vector, three of them add up to the pixel's light, and a
// table gives sRGB's 8-bit values for it. Out-of-gamut light is clipped channel by channel, as
// LittleCMS's relative colorimetric conversion of matrix-shaper profiles does.
class MatrixShaper {
public:
    // Tables for 8-bit sources, or for 16-bit ones (read to 12 bits, finer than 8-bit output
    // can show).
    MatrixShaper(const MatrixShaperModel& model, const MatrixShaperModel::Colorants& srgb,
                 bool sixteenBits);

    void convertRow(SourcePixels source, const void* in, std::uint8_t* out, int width) const;

private:
    // Lanes blue, green, red, unused: the order of the output pixel.
    using Lanes = float __attribute__((vector_size(16)));

    template <class Sample, int Red, int Blue>
    void convert(const Sample* in, std::uint8_t* out, int width) const;

    int entries_;                      // table entries per channel
    std::vector<Lanes> shares_;        // [channel * entries_ + entry], in steps of the output table
    std::vector<std::uint8_t> encode_; // linear sRGB light, in steps, to sRGB values
};

} // namespace platform
