#include "platform/picture/exiforientation.h"

#include "platform/picture/tiffreader.h"

namespace platform {

namespace {

constexpr std::uint16_t OrientationTag = 0x0112;
constexpr std::uint16_t TypeShort = 3;

} // namespace

int exifOrientation(std::span<const std::uint8_t> tiff) {
    TiffReader reader(tiff);
    if (!reader.readByteOrder())
        return OrientationUpright;
    const auto ifd = reader.u32(4);
    const auto entry = ifd ? reader.entry(*ifd, OrientationTag) : std::nullopt;
    if (!entry)
        return OrientationUpright;
    // A SHORT sits in the value field's first two bytes.
    const auto type = reader.u16(*entry + 2);
    const auto values = reader.u32(*entry + 4);
    const auto value = reader.u16(*entry + 8);
    if (type != TypeShort || !values || *values < 1 || !value || *value < 1 || *value > 8)
        return OrientationUpright;
    return static_cast<int>(*value);
}

} // namespace platform
