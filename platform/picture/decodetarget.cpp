#include "platform/picture/decodetarget.h"

#include "platform/errors/runtimeerror.h"

#include <cstring>
#include <unistd.h>
#include <vector>

namespace platform {

bool fitsIntoMemory(std::int64_t bytes) {
    static const std::int64_t memory = [] {
        const long pages = sysconf(_SC_PHYS_PAGES);
        const long pageSize = sysconf(_SC_PAGESIZE);
        if (pages <= 0 || pageSize <= 0)
            return std::int64_t{1} << 62; // unknown: let the allocation itself decide
        return std::int64_t{pages} * pageSize;
    }();
    return bytes <= memory;
}

void checkPictureSize(std::int64_t width, std::int64_t height, std::size_t fileBytes) {
    if (width <= 0 || height <= 0 || width > MaxPicturePixels || height > MaxPicturePixels)
        raise(ErrInvalidPicture);
    const std::int64_t pixels = width * height;
    if (pixels > MaxPicturePixels ||
        pixels / MaxPixelsPerFileByte >= static_cast<std::int64_t>(fileBytes))
        raise(ErrInvalidPicture);
    const auto bytes = static_cast<std::int64_t>(bgrStride(width)) * height;
    if (!fitsIntoMemory(bytes))
        raise(ErrOutOfMemory);
}

void fillTarget(const DecodeTarget& target, std::uint8_t level) {
    for (int y = 0; y < target.height; ++y)
        std::memset(target.row(y), level, static_cast<std::size_t>(target.width) * 3);
}

void convertTarget(const DecodeTarget& target, const ColourTransform& colour,
                   SourcePixels decoded) {
    std::vector<std::uint8_t> grey(
        decoded == SourcePixels::Gray8 ? static_cast<std::size_t>(target.width) : 0);
    for (int y = 0; y < target.height; ++y) {
        std::uint8_t* row = target.row(y);
        if (grey.empty()) {
            colour.convertRow(row, row, target.width);
            continue;
        }
        for (std::size_t x = 0; x < grey.size(); ++x)
            grey[x] = row[3 * x];
        colour.convertRow(grey.data(), row, target.width);
    }
}

} // namespace platform
