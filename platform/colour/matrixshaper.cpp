#include "platform/colour/matrixshaper.h"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

using Matrix = MatrixShaperModel::Colorants; // [row][column]

// Steps of linear light between black and white in the output table: fine enough that its
// rounding moves no output by more than a fifth of a level, small enough to stay in the cache.
constexpr int EncodeSteps = 8192;

double srgbFromLinear(double v) {
    return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
}

// The colorants as a matrix from channel light to XYZ: one column per channel.
Matrix toXyz(const Matrix& colorants) {
    Matrix m{};
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            m[row][column] = colorants[column][row];
    return m;
}

Matrix inverse(const Matrix& m) {
    const auto minor = [&](int r0, int r1, int c0, int c1) {
        return m[r0][c0] * m[r1][c1] - m[r0][c1] * m[r1][c0];
    };
    const double determinant =
        m[0][0] * minor(1, 2, 1, 2) - m[0][1] * minor(1, 2, 0, 2) + m[0][2] * minor(1, 2, 0, 1);
    return {{
        {minor(1, 2, 1, 2) / determinant, -minor(0, 2, 1, 2) / determinant,
         minor(0, 1, 1, 2) / determinant},
        {-minor(1, 2, 0, 2) / determinant, minor(0, 2, 0, 2) / determinant,
         -minor(0, 1, 0, 2) / determinant},
        {minor(1, 2, 0, 1) / determinant, -minor(0, 2, 0, 1) / determinant,
         minor(0, 1, 0, 1) / determinant},
    }};
}

Matrix product(const Matrix& a, const Matrix& b) {
    Matrix m{};
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            for (int k = 0; k < 3; ++k)
                m[row][column] += a[row][k] * b[k][column];
    return m;
}

} // namespace

bool isSrgb(const MatrixShaperModel& model, const MatrixShaperModel::Colorants& srgb) {
    for (int channel = 0; channel < 3; ++channel) {
        for (int xyz = 0; xyz < 3; ++xyz)
            if (!(std::abs(model.colorants[channel][xyz] - srgb[channel][xyz]) <= 0.003))
                return false;
        for (int level = 0; level <= 255; level += 5) {
            const double signal = level / 255.0;
            if (!(std::abs(srgbFromLinear(model.curve(channel, signal)) - signal) <= 0.5 / 255))
                return false;
        }
    }
    return true;
}

MatrixShaper::MatrixShaper(const MatrixShaperModel& model, const MatrixShaperModel::Colorants& srgb,
                           bool sixteenBits)
    : entries_(sixteenBits ? 4097 : 256), shares_(3 * static_cast<std::size_t>(entries_)) {
    const Matrix toSrgb = product(inverse(toXyz(srgb)), toXyz(model.colorants));
    // The output table spans all light the matrix can make of light between 0 and 1, out of
    // gamut included (below black and above white), so that the loop needs no clamping.
    double darkest = 0, brightest = 1;
    for (const auto& row : toSrgb) {
        double low = 0, high = 0;
        for (const double m : row)
            (m < 0 ? low : high) += m;
        darkest = std::min(darkest, low);
        brightest = std::max(brightest, high);
    }
    const double offset = std::ceil(-darkest * (EncodeSteps - 1)) + 1;
    encode_.resize(static_cast<std::size_t>(offset + brightest * (EncodeSteps - 1)) + 3);
    for (std::size_t i = 0; i < encode_.size(); ++i) {
        const double light = std::clamp((i - offset) / (EncodeSteps - 1), 0.0, 1.0);
        encode_[i] = static_cast<std::uint8_t>(std::lround(255 * srgbFromLinear(light)));
    }
    for (int channel = 0; channel < 3; ++channel)
        for (int entry = 0; entry < entries_; ++entry) {
            // A 16-bit source's entry stands for the 16 values nearest to 16 times its number.
            const double signal =
                sixteenBits ? std::min(entry * 16, 65535) / 65535.0 : entry / 255.0;
            const double light = model.curve(channel, signal); // a curve may say nonsense
            const double steps =
                (std::isfinite(light) ? std::clamp(light, 0.0, 1.0) : 0.0) * (EncodeSteps - 1);
            // One channel carries the table's offset, and half a step that makes the
            // float-to-integer truncation below round.
            const double bias = channel == 0 ? offset + 0.5 : 0.0;
            Lanes& share = shares_[static_cast<std::size_t>(channel * entries_ + entry)];
            for (int lane = 0; lane < 3; ++lane)
                share[lane] = static_cast<float>(toSrgb[2 - lane][channel] * steps + bias);
            share[3] = 0;
        }
}

template <class Sample, int Red, int Blue>
void MatrixShaper::convert(const Sample* in, std::uint8_t* out, int width) const {
    using Integers = int __attribute__((vector_size(16)));
    // 16-bit samples are rounded to the nearest of their table's entries.
    const auto entry = [](Sample sample) {
        return sizeof(Sample) == 1 ? sample : (sample + 8) >> 4;
    };
    const Lanes* red = shares_.data();
    const Lanes* green = red + entries_;
    const Lanes* blue = green + entries_;
    const std::uint8_t* encode = encode_.data();
    for (int x = 0; x < width; ++x, in += 3, out += 3) {
        const Lanes light = red[entry(in[Red])] + green[entry(in[1])] + blue[entry(in[Blue])];
        const Integers step = __builtin_convertvector(light, Integers);
        out[0] = encode[step[0]];
        out[1] = encode[step[1]];
        out[2] = encode[step[2]];
    }
}

void MatrixShaper::convertRow(SourcePixels source, const void* in, std::uint8_t* out,
                              int width) const {
    switch (source) {
    case SourcePixels::Bgr8:
        convert<std::uint8_t, 2, 0>(static_cast<const std::uint8_t*>(in), out, width);
        break;
    case SourcePixels::Rgb8:
        convert<std::uint8_t, 0, 2>(static_cast<const std::uint8_t*>(in), out, width);
        break;
    case SourcePixels::Rgb16:
        convert<std::uint16_t, 0, 2>(static_cast<const std::uint16_t*>(in), out, width);
        break;
    default:
        break; // only RGB sources are given a matrix shaper
    }
}

} // namespace platform
