#pragma once

#include "platform/gdi/gdi.h"

#include <cstdint>
#include <vector>

namespace testsupport {

// A DIB section made for a test, with its pixels addressed from the top-left corner.
// It does not own the handle: wrap it in gdi::OwnedBitmap or a platform::Picture.
struct Dib {
    gdi::HBITMAP handle = 0;
    std::uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    int bitsPerPixel = 24;
    bool topDown = false;
    int stride = 0;

    std::uint8_t* pixel(int x, int y) const;
    // The pixel's colour as 0xRRGGBB.
    std::uint32_t colour(int x, int y) const;
    void setColour(int x, int y, std::uint32_t rgb) const;
    std::size_t byteCount() const { return static_cast<std::size_t>(stride) * height; }
    std::vector<std::uint8_t> bytes() const { return {bits, bits + byteCount()}; }
};

// A DIB section of the given size and format; fails the calling test when it cannot be made.
Dib makeDib(int width, int height, int bitsPerPixel = 24, bool topDown = false);

// Fills every byte of a DIB (padding and fourth bytes too) from a seeded pseudo-random sequence.
void fillNoise(const Dib& dib, std::uint32_t seed);

// A colour that differs from pixel to pixel and from seed to seed.
std::uint32_t patternColour(int x, int y, std::uint32_t seed);

} // namespace testsupport
