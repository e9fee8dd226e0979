#pragma once

#include <cstdint>
#include <span>

namespace platform {

// Whether an EXIF block (the TIFF structure after "Exif\0\0") marks a photo as Adobe RGB the way
// cameras do without a profile: ColorSpace 0xFFFF (uncalibrated) and the interoperability index
// "R03". Offsets that point outside the block are ignored, never followed.
bool exifMarksAdobeRgb(std::span<const std::uint8_t> tiff);

} // namespace platform
