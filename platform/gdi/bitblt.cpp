#include "platform/gdi/gdi.h"
#include "platform/gdi/gdiobjects.h"
#include "platform/gdi/rasterop.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace gdi {

using detail::Bitmap;
using detail::objects;

namespace {

// The white brush every device context paints with, as a 24-bit colour.
constexpr std::uint32_t kWhitePattern = 0x00FFFFFF;

// A clipped transfer: w x h pixels from (sx, sy) of the source to (dx, dy) of the destination,
// coordinates counted from the top-left corner.
struct Area {
    std::int32_t dx, dy, sx, sy, w, h;
};

template <int Bits> std::uint32_t load(const std::uint8_t* p) noexcept {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16;
}

// The fourth byte of a 32-bit pixel is not part of the colour: a plain copy between 32-bit
// bitmaps carries it along, every other transfer leaves 0 there.
template <int Bits> void store(std::uint8_t* p, std::uint32_t colour) noexcept {
    p[0] = static_cast<std::uint8_t>(colour);
    p[1] = static_cast<std::uint8_t>(colour >> 8);
    p[2] = static_cast<std::uint8_t>(colour >> 16);
    if constexpr (Bits == 32)
        p[3] = 0;
}

static_assert(std::endian::native == std::endian::little,
              "pixels are packed as little-endian words");

std::uint32_t word(const std::uint8_t* p) noexcept {
    std::uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

void putWord(std::uint8_t* p, std::uint32_t w) noexcept {
    std::memcpy(p, &w, 4);
}

// Depth conversions four pixels (three or four words) at a time: several times faster than byte
// by byte. The tail is done pixel by pixel.
void copyRow24To32(std::uint8_t* d, const std::uint8_t* s, std::int32_t pixels) noexcept {
    std::int32_t i = 0;
    for (; i + 4 <= pixels; i += 4, d += 16, s += 12) {
        const std::uint32_t w0 = word(s), w1 = word(s + 4), w2 = word(s + 8);
        putWord(d, w0 & 0xFFFFFF);
        putWord(d + 4, (w0 >> 24 | w1 << 8) & 0xFFFFFF);
        putWord(d + 8, (w1 >> 16 | w2 << 16) & 0xFFFFFF);
        putWord(d + 12, w2 >> 8);
    }
    for (; i < pixels; ++i, d += 4, s += 3) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        d[3] = 0;
    }
}

void copyRow32To24(std::uint8_t* d, const std::uint8_t* s, std::int32_t pixels) noexcept {
    std::int32_t i = 0;
    for (; i + 4 <= pixels; i += 4, d += 12, s += 16) {
        const std::uint32_t p0 = word(s), p1 = word(s + 4), p2 = word(s + 8), p3 = word(s + 12);
        putWord(d, (p0 & 0xFFFFFF) | p1 << 24);
        putWord(d + 4, (p1 >> 8 & 0xFFFF) | p2 << 16);
        putWord(d + 8, (p2 >> 16 & 0xFF) | p3 << 8);
    }
    for (; i < pixels; ++i, d += 3, s += 4) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
    }
}

std::uint8_t* pixelAt(const Bitmap& b, std::int32_t x, std::int32_t y) noexcept {
    return b.row(y) + static_cast<std::size_t>(x) * static_cast<std::size_t>(b.bitsPerPixel / 8);
}

// The plain copy: whole rows at memory speed where the formats agree, a conversion per row where
// depth differs. Row order only changes which row pointer is taken.
void copy(const Bitmap& dst, const Bitmap& src, const Area& a) noexcept {
    const bool sameFormat = dst.bitsPerPixel == src.bitsPerPixel;
    const std::size_t rowBytes =
        static_cast<std::size_t>(a.w) * static_cast<std::size_t>(dst.bitsPerPixel / 8);
    const bool contiguous = sameFormat && dst.topDown == src.topDown && dst.stride == src.stride &&
                            static_cast<std::size_t>(dst.stride) == rowBytes;
    if (contiguous) {
        // Rows without padding follow each other in both bitmaps: one block.
        const std::int32_t first = dst.topDown ? 0 : a.h - 1; // the row lowest in memory
        std::memcpy(pixelAt(dst, a.dx, a.dy + first), pixelAt(src, a.sx, a.sy + first),
                    rowBytes * static_cast<std::size_t>(a.h));
        return;
    }
    for (std::int32_t r = 0; r < a.h; ++r) {
        std::uint8_t* const d = pixelAt(dst, a.dx, a.dy + r);
        const std::uint8_t* const s = pixelAt(src, a.sx, a.sy + r);
        if (sameFormat)
            std::memcpy(d, s, rowBytes);
        else if (dst.bitsPerPixel == 32)
            copyRow24To32(d, s, a.w);
        else
            copyRow32To24(d, s, a.w);
    }
}

template <int DstBits, int SrcBits>
void combineAs(const Bitmap& dst, const Bitmap* src, const Area& a, std::uint8_t table) noexcept {
    for (std::int32_t r = 0; r < a.h; ++r) {
        std::uint8_t* d = pixelAt(dst, a.dx, a.dy + r);
        const std::uint8_t* s = src ? pixelAt(*src, a.sx, a.sy + r) : nullptr;
        for (std::int32_t i = 0; i < a.w; ++i, d += DstBits / 8) {
            std::uint32_t source = 0;
            if (s) {
                source = load<SrcBits>(s);
                s += SrcBits / 8;
            }
            store<DstBits>(d, rop::apply(table, kWhitePattern, source, load<DstBits>(d)));
        }
    }
}

// Any raster operation, pixel by pixel; src is null when the operation does not read a source.
void combine(const Bitmap& dst, const Bitmap* src, const Area& a, std::uint8_t table) noexcept {
    const int srcBits = src ? src->bitsPerPixel : 32;
    if (dst.bitsPerPixel == 24)
        srcBits == 24 ? combineAs<24, 24>(dst, src, a, table)
                      : combineAs<24, 32>(dst, src, a, table);
    else
        srcBits == 24 ? combineAs<32, 24>(dst, src, a, table)
                      : combineAs<32, 32>(dst, src, a, table);
}

// A copy of the source rectangle, for a transfer within one bitmap whose rectangles overlap.
Bitmap snapshot(const Bitmap& src, const Area& a) {
    Bitmap copyOf;
    copyOf.width = a.w;
    copyOf.height = a.h;
    copyOf.bitsPerPixel = src.bitsPerPixel;
    copyOf.topDown = true;
    copyOf.stride = (a.w * src.bitsPerPixel + 31) / 32 * 4;
    copyOf.memory = PixelMemory::allocate(static_cast<std::size_t>(copyOf.stride) *
                                          static_cast<std::size_t>(a.h));
    if (copyOf.memory)
        copy(copyOf, src, Area{0, 0, a.sx, a.sy, a.w, a.h});
    return copyOf;
}

bool overlaps(const Area& a) noexcept {
    return a.dx < a.sx + a.w && a.sx < a.dx + a.w && a.dy < a.sy + a.h && a.sy < a.dy + a.h;
}

} // namespace

bool BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY,
            std::uint32_t code) {
    const std::uint8_t table = rop::table(code);
    const detail::DeviceContext* const destDc = objects().dc(dest);
    if (!destDc || destDc->screen)
        return false; // the screen has no pixels here to draw on
    const Bitmap* const dst = objects().bitmap(destDc->selected);
    const Bitmap* source = nullptr;
    if (rop::usesSource(table)) {
        const detail::DeviceContext* const srcDc = objects().dc(src);
        if (!srcDc || srcDc->screen)
            return false;
        source = objects().bitmap(srcDc->selected);
    }
    if (!dst || !dst->memory || (source && !source->memory))
        return false;

    // Clip the offsets into the rectangle to both bitmaps (64-bit: any int arguments are safe).
    std::int64_t i0 = std::max<std::int64_t>(0, -std::int64_t{x});
    std::int64_t i1 = std::min<std::int64_t>(width, std::int64_t{dst->width} - x);
    std::int64_t j0 = std::max<std::int64_t>(0, -std::int64_t{y});
    std::int64_t j1 = std::min<std::int64_t>(height, std::int64_t{dst->height} - y);
    if (source) {
        i0 = std::max<std::int64_t>(i0, -std::int64_t{srcX});
        i1 = std::min<std::int64_t>(i1, std::int64_t{source->width} - srcX);
        j0 = std::max<std::int64_t>(j0, -std::int64_t{srcY});
        j1 = std::min<std::int64_t>(j1, std::int64_t{source->height} - srcY);
    }
    if (i0 >= i1 || j0 >= j1)
        return true; // nothing of the rectangle lies on both bitmaps
    Area area{static_cast<std::int32_t>(x + i0),    static_cast<std::int32_t>(y + j0),
              static_cast<std::int32_t>(srcX + i0), static_cast<std::int32_t>(srcY + j0),
              static_cast<std::int32_t>(i1 - i0),   static_cast<std::int32_t>(j1 - j0)};

    Bitmap copyOfSource;
    if (source == dst && overlaps(area)) {
        copyOfSource = snapshot(*source, area);
        if (!copyOfSource.memory)
            return false;
        source = &copyOfSource;
        area.sx = area.sy = 0;
    }
    if (source && table == rop::table(SRCCOPY))
        copy(*dst, *source, area);
    else
        combine(*dst, source, area, table);
    return true;
}

} // namespace gdi
