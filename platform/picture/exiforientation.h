#pragma once

#include <cstdint>
#include <span>

namespace platform {

// How a photo's stored rows must be turned to show it upright: the EXIF orientation values.
// 1 upright, 2 mirrored left-right, 3 turned half round, 4 mirrored top-bottom, 5 mirrored along
// the main diagonal, 6 turned a quarter clockwise, 7 mirrored along the other diagonal, 8 turned a
// quarter anticlockwise (each names what the viewer does to the stored picture).
constexpr int OrientationUpright = 1;

// Whether the orientation swaps width and height.
constexpr bool swapsAxes(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

// The orientation tag of an EXIF block (the TIFF structure that follows "Exif\0\0" in a JPEG's
// APP1 segment). Returns 1 when the block has no valid orientation; offsets and counts that point
// outside the block are ignored, never followed.
int exifOrientation(std::span<const std::uint8_t> tiff);

} // namespace platform
