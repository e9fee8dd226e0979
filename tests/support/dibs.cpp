#include "support/dibs.h"

#include <gtest/gtest.h>
#include <random>

namespace testsupport {

std::uint8_t* Dib::pixel(int x, int y) const {
    const int memoryRow = topDown ? y : height - 1 - y;
    return bits + static_cast<std::size_t>(memoryRow) * stride +
           static_cast<std::size_t>(x) * (bitsPerPixel / 8);
}

std::uint32_t Dib::colour(int x, int y) const {
    const std::uint8_t* p = pixel(x, y);
    return std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
}

void Dib::setColour(int x, int y, std::uint32_t rgb) const {
    std::uint8_t* p = pixel(x, y);
    p[0] = static_cast<std::uint8_t>(rgb);
    p[1] = static_cast<std::uint8_t>(rgb >> 8);
    p[2] = static_cast<std::uint8_t>(rgb >> 16);
}

Dib makeDib(int width, int height, int bitsPerPixel, bool topDown) {
    gdi::BITMAPINFOHEADER header;
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = topDown ? -height : height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<std::uint16_t>(bitsPerPixel);
    Dib dib;
    void* bits = nullptr;
    dib.handle = gdi::CreateDIBSection(0, &header, gdi::DIB_RGB_COLORS, &bits, 0, 0);
    EXPECT_NE(dib.handle, 0) << width << "x" << height << "x" << bitsPerPixel;
    dib.bits = static_cast<std::uint8_t*>(bits);
    dib.width = width;
    dib.height = height;
    dib.bitsPerPixel = bitsPerPixel;
    dib.topDown = topDown;
    dib.stride = (width * bitsPerPixel + 31) / 32 * 4;
    return dib;
}

void fillNoise(const Dib& dib, std::uint32_t seed) {
    std::mt19937 random(seed);
    for (std::size_t i = 0; i < dib.byteCount(); ++i)
        dib.bits[i] = static_cast<std::uint8_t>(random());
}

std::uint32_t patternColour(int x, int y, std::uint32_t seed) {
    std::uint32_t h = seed * 0x9E3779B9u ^ static_cast<std::uint32_t>(x) * 0x85EBCA6Bu ^
                      static_cast<std::uint32_t>(y) * 0xC2B2AE35u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return h & 0xFFFFFF;
}

} // namespace testsupport
