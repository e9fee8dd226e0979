#pragma once

#include "platform/colour/colourtransform.h"

#include <cstdint>
#include <optional>
#include <span>

namespace platform {

// What the markers before a JPEG's first scan say about it.
struct JpegHeader {
    int width = 0;
    int height = 0;
    int components = 0;
    int precision = 0;
    int frameMarker = 0;      // the SOFn marker code, 0xC0 to 0xCF
    int orientation = 1;      // from the first EXIF block, 1 when there is none
    bool adobe = false;       // an Adobe APP14 segment: CMYK values are stored inverted
    ColourDescription colour; // the ICC profile of the APP2 segments, EXIF's Adobe RGB mark
    bool decodable() const;   // a frame type, precision and colour count we decode
};

// Whether the data starts like a JPEG stream (the start-of-image marker).
bool looksLikeJpeg(std::span<const std::uint8_t> data);

// Walks the markers up to the first scan the way the JPEG library does (skipping stray bytes
// between segments). Returns nothing when the stream has no frame header followed by a scan, has
// two frame headers, or a segment runs past the end of the data. An ICC profile whose segments do
// not fit together (counts that disagree, a part missing or repeated) is left out.
std::optional<JpegHeader> readJpegHeader(std::span<const std::uint8_t> data);

} // namespace platform
