#include "platform/picture/exifcolourspace.h"

#include "platform/picture/tiffreader.h"

#include <cstring>

namespace platform {

namespace {

constexpr std::uint16_t ExifDirectoryTag = 0x8769;
constexpr std::uint16_t ColorSpaceTag = 0xA001;
constexpr std::uint16_t InteroperabilityDirectoryTag = 0xA005;
constexpr std::uint16_t InteroperabilityIndexTag = 0x0001;
constexpr std::uint32_t Uncalibrated = 0xFFFF;

// The directory a pointer entry of `directory` leads to.
std::optional<std::uint32_t> subDirectory(const TiffReader& reader, std::uint32_t directory,
                                          std::uint16_t tag) {
    const auto entry = reader.entry(directory, tag);
    return entry ? reader.u32(*entry + 8) : std::nullopt;
}

} // namespace

bool exifMarksAdobeRgb(std::span<const std::uint8_t> tiff) {
    TiffReader reader(tiff);
    if (!reader.readByteOrder())
        return false;
    const auto first = reader.u32(4);
    const auto exif = first ? subDirectory(reader, *first, ExifDirectoryTag) : std::nullopt;
    const auto colorSpace = exif ? reader.entry(*exif, ColorSpaceTag) : std::nullopt;
    if (!colorSpace || reader.u16(*colorSpace + 8) != Uncalibrated)
        return false;
    const auto interop = subDirectory(reader, *exif, InteroperabilityDirectoryTag);
    const auto index = interop ? reader.entry(*interop, InteroperabilityIndexTag) : std::nullopt;
    // Four ASCII bytes ("R03" and its terminator) fit into the entry's value field.
    return index && *index + 12 <= tiff.size() &&
           std::memcmp(tiff.data() + *index + 8, "R03", 3) == 0;
}

} // namespace platform
