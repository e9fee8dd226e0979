#include "platform/colour/nclx.h"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

constexpr double D65[2] = {0.3127, 0.3290};
constexpr double IlluminantC[2] = {0.310, 0.316};

enum Transfer {
    Gamma22 = 4,
    Gamma28 = 5,
    Linear = 8,
    Pq = 16,
    Hlg = 18,
};

double srgbToLinear(double v) {
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

// HDR light in cd/m2 brought into an SDR picture. The reference white of HDR pictures (203 cd/m2)
// becomes SDR white; light up to 80% of it passes unchanged, so shadows and mid-tones look as in
// an SDR rendition of the same scene. Above, an extended Reinhard curve rolls everything up to
// PQ's ceiling of 10000 cd/m2 softly into the remaining 20%: nothing clips, highlights keep some
// gradation, and the curve's slope is continuous at the knee. Applied to each channel in the
// picture's own primaries, which desaturates the brightest highlights a little as film does.
double toneMapped(double candelas) {
    constexpr double ReferenceWhite = 203.0;
    constexpr double Knee = 0.8;
    constexpr double Peak = 10000.0 / ReferenceWhite;
    constexpr double Range = (Peak - Knee) / (1.0 - Knee);
    const double light = candelas / ReferenceWhite;
    if (light <= Knee)
        return light;
    const double t = (light - Knee) / (1.0 - Knee);
    return Knee + (1.0 - Knee) * t * (1.0 + t / (Range * Range)) / (1.0 + t);
}

// SMPTE ST 2084: signal to display light in cd/m2.
double pqToCandelas(double signal) {
    constexpr double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128;
    constexpr double c1 = 3424.0 / 4096, c2 = 2413.0 / 4096 * 32, c3 = 2392.0 / 4096 * 32;
    const double p = std::pow(signal, 1.0 / m2);
    return 10000.0 * std::pow(std::max(p - c1, 0.0) / (c2 - c3 * p), 1.0 / m1);
}

// BT.2100 HLG: signal to scene light, then the display's system gamma of 1.2 for a nominal
// 1000 cd/m2 display, channel by channel (75% signal, HLG's reference white, gives 203 cd/m2).
double hlgToCandelas(double signal) {
    constexpr double a = 0.17883277, b = 1 - 4 * a, c = 0.55991073;
    const double scene =
        signal <= 0.5 ? signal * signal / 3 : (std::exp((signal - c) / a) + b) / 12;
    return 1000.0 * std::pow(scene, 1.2);
}

} // namespace

Chromaticities nclxPrimaries(int code) {
    switch (code) {
    case 4: // BT.470 System M
        return {{0.67, 0.33}, {0.21, 0.71}, {0.14, 0.08}, {IlluminantC[0], IlluminantC[1]}};
    case 5: // BT.470 System B, G
        return {{0.64, 0.33}, {0.29, 0.60}, {0.15, 0.06}, {D65[0], D65[1]}};
    case 6: // BT.601 525 lines, SMPTE 170M
    case 7: // SMPTE 240M
        return {{0.630, 0.340}, {0.310, 0.595}, {0.155, 0.070}, {D65[0], D65[1]}};
    case 8: // generic film
        return {{0.681, 0.319}, {0.243, 0.692}, {0.145, 0.049}, {IlluminantC[0], IlluminantC[1]}};
    case 9: // BT.2020, BT.2100
        return {{0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}, {D65[0], D65[1]}};
    case 10: // SMPTE ST 428 (CIE XYZ)
        return {{1.0, 0.0}, {0.0, 1.0}, {0.0, 0.0}, {1.0 / 3, 1.0 / 3}};
    case 11: // DCI P3
        return {{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}, {0.314, 0.351}};
    case 12: // Display P3
        return {{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}, {D65[0], D65[1]}};
    case 22: // EBU Tech 3213
        return {{0.630, 0.340}, {0.295, 0.605}, {0.155, 0.077}, {D65[0], D65[1]}};
    default: // 1 (BT.709, sRGB), 2 (unspecified) and reserved codes
        return {{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}, {D65[0], D65[1]}};
    }
}

bool nclxIsSrgb(const NclxColour& colour) {
    const bool primaries = nclxPrimaries(colour.primaries) == nclxPrimaries(1);
    const int t = colour.transfer;
    return primaries && t != Gamma22 && t != Gamma28 && t != Linear && t != Pq && t != Hlg;
}

double nclxToLinear(int transfer, double signal) {
    const double v = std::clamp(signal, 0.0, 1.0);
    switch (transfer) {
    case Gamma22:
        return std::pow(v, 2.2);
    case Gamma28:
        return std::pow(v, 2.8);
    case Linear:
        return v;
    case Pq:
        return toneMapped(pqToCandelas(v));
    case Hlg:
        return toneMapped(hlgToCandelas(v));
    default:
        // sRGB itself, and the BT.709-like, unspecified and rarer transfers: read as sRGB, as
        // pictures with BT.709 primaries and these transfers are (they pass untouched).
        return srgbToLinear(v);
    }
}

} // namespace platform
