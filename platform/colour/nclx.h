#pragma once

#include "platform/colour/colourtransform.h"

namespace platform {

// The xy chromaticities of a set of primaries and of its white.
struct Chromaticities {
    double red[2], green[2], blue[2], white[2];

    bool operator==(const Chromaticities&) const = default;
};

// What an nclx primaries code names; BT.709's for unspecified and reserved codes.
Chromaticities nclxPrimaries(int code);

// Whether pixels so described are plain sRGB: BT.709 (or unspecified) primaries with an sRGB,
// BT.709-like or unspecified transfer.
bool nclxIsSrgb(const NclxColour& colour);

// The transfer an nclx code names, from a signal value (0 to 1) to light relative to the white of
// an SDR picture (0 to 1). PQ and HLG light is tone-mapped into that range: see nclx.cpp.
double nclxToLinear(int transfer, double signal);

} // namespace platform
