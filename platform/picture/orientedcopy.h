#pragma once

#include "platform/picture/decodetarget.h"
#include "platform/picture/exiforientation.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace platform {

// Copies a top-down picture of `width` x `height` pixels, `SourceBytes` bytes each, into a target
// turned upright by an EXIF orientation (the target is height x width for orientations 5 to 8).
// `convert(source pixel, target pixel)` writes one blue-green-red pixel.
// The picture is walked in tiles so that the turned writes stay within the cache.
template <int SourceBytes, class Convert>
void copyOriented(const std::uint8_t* source, std::size_t sourceStride, int width, int height,
                  int orientation, const DecodeTarget& target, Convert convert) {
    // Where source pixel (0, y) lands and how far one step along the source row moves in the target
    // (pixels counted from the target's top-left corner; rows lie bottom-up in memory).
    const auto at = [&](int x, int y) {
        return target.row(y) + static_cast<std::ptrdiff_t>(x) * 3;
    };
    const auto stride = static_cast<std::ptrdiff_t>(target.stride);
    const auto start = [&](int y) -> std::uint8_t* {
        switch (orientation) {
        case 2:
            return at(width - 1, y);
        case 3:
            return at(width - 1, height - 1 - y);
        case 4:
            return at(0, height - 1 - y);
        case 5:
            return at(y, 0);
        case 6:
            return at(height - 1 - y, 0);
        case 7:
            return at(height - 1 - y, width - 1);
        case 8:
            return at(y, width - 1);
        default:
            return at(0, y);
        }
    };
    std::ptrdiff_t step = 3;
    switch (orientation) {
    case 2:
    case 3:
        step = -3;
        break;
    case 5:
    case 6:
        step = -stride;
        break; // down the target = towards lower addresses
    case 7:
    case 8:
        step = stride;
        break;
    default:
        break;
    }
    constexpr int TileRows = 16;
    constexpr int TileColumns = 256;
    for (int y0 = 0; y0 < height; y0 += TileRows) {
        const int y1 = std::min(height, y0 + TileRows);
        for (int x0 = 0; x0 < width; x0 += TileColumns) {
            const int x1 = std::min(width, x0 + TileColumns);
            for (int y = y0; y < y1; ++y) {
                const std::uint8_t* in = source + static_cast<std::size_t>(y) * sourceStride +
                                         static_cast<std::size_t>(x0) * SourceBytes;
                std::uint8_t* out = start(y) + static_cast<std::ptrdiff_t>(x0) * step;
                for (int x = x0; x < x1; ++x, in += SourceBytes, out += step)
                    convert(in, out);
            }
        }
    }
}

// Mirrors every row of the target left to right, in place.
void mirrorRows(const DecodeTarget& target);

} // namespace platform
