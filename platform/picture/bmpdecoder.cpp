#include "platform/picture/bmpdecoder.h"

#include "platform/errors/runtimeerror.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <optional>

namespace platform {

namespace {

enum Compression : std::uint32_t { Rgb = 0, Rle8 = 1, Rle4 = 2, BitFields = 3, AlphaBitFields = 6 };

constexpr std::size_t FileHeaderSize = 14;
constexpr std::size_t CoreHeaderSize = 12; // OS/2 1.x

class Bytes {
public:
    explicit Bytes(std::span<const std::uint8_t> data) : data_(data) {}
    std::size_t size() const { return data_.size(); }
    bool has(std::size_t offset, std::size_t count) const {
        return offset <= data_.size() && data_.size() - offset >= count;
    }
    std::uint32_t u16(std::size_t offset) const {
        return has(offset, 2) ? data_[offset] | data_[offset + 1] << 8 : 0;
    }
    std::uint32_t u32(std::size_t offset) const { return u16(offset) | u16(offset + 2) << 16; }
    const std::uint8_t* at(std::size_t offset) const { return data_.data() + offset; }

private:
    std::span<const std::uint8_t> data_;
};

bool validHeaderSize(std::uint32_t size) {
    return size == CoreHeaderSize || (size >= 16 && size <= 64) || size == 108 || size == 124;
}

// Windows' headers are 40 bytes and the extended ones; any other size from 16 to 64 is OS/2 2.x,
// where compression codes 3 and 4 mean Huffman and RLE24 rather than bit fields and JPEG.
bool isOs2Header(std::uint32_t size) {
    return size != CoreHeaderSize && size != 40 && size != 52 && size != 56 && size != 108 &&
           size != 124;
}

bool validBitCount(std::uint32_t bits) {
    return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 ||
           bits == 32;
}

// One colour channel of a bit-field pixel, scaled to 0..255.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t max = 0;

    explicit Channel(std::uint32_t m = 0) : mask(m) {
        if (mask != 0) {
            shift = std::countr_zero(mask);
            const int bits = std::bit_width(mask >> shift);
            max = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
        }
    }
    std::uint8_t operator()(std::uint32_t pixel) const {
        const std::uint32_t value = (pixel & mask) >> shift;
        if (max == 255 || max == 0)
            return static_cast<std::uint8_t>(value);
        return static_cast<std::uint8_t>((std::uint64_t{value} * 255 + max / 2) / max);
    }
};

struct Layout {
    std::size_t base = 0; // where the file header starts (after an OS/2 array header)
    bool fileHeader = false;
    std::size_t info = 0; // where the info header starts
    std::uint32_t headerSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    bool topDown = false;
    std::uint32_t bitCount = 0;
    std::uint32_t compression = Rgb;
    std::array<std::uint32_t, 4> masks{}; // red, green, blue, alpha
    std::size_t palette = 0;              // where the colour table starts
    std::size_t paletteEntries = 0;       // entries present before the pixels, at most 256
    std::size_t entryBytes = 4;
    std::size_t pixels = 0; // where the pixel data starts
};

std::optional<Layout> readLayout(const Bytes& bytes) {
    Layout l;
    if (bytes.has(0, 2) && bytes.u16(0) == 0x4142 /* "BA" */)
        l.base = FileHeaderSize;
    if (bytes.has(l.base, FileHeaderSize) && bytes.u16(l.base) == 0x4D42 /* "BM" */) {
        l.fileHeader = true;
        l.info = l.base + FileHeaderSize;
    } else if (l.base != 0) {
        return std::nullopt;
    }
    l.headerSize = bytes.u32(l.info);
    if (!validHeaderSize(l.headerSize) || !bytes.has(l.info, l.headerSize))
        return std::nullopt;
    std::uint32_t planes = 0;
    std::uint32_t colorsUsed = 0;
    if (l.headerSize == CoreHeaderSize) {
        l.width = bytes.u16(l.info + 4);
        l.height = bytes.u16(l.info + 6);
        planes = bytes.u16(l.info + 8);
        l.bitCount = bytes.u16(l.info + 10);
        l.entryBytes = 3;
    } else {
        l.width = static_cast<std::int32_t>(bytes.u32(l.info + 4));
        l.height = static_cast<std::int32_t>(bytes.u32(l.info + 8));
        planes = bytes.u16(l.info + 12);
        l.bitCount = bytes.u16(l.info + 14);
        if (l.headerSize >= 20)
            l.compression = bytes.u32(l.info + 16);
        if (l.headerSize >= 36)
            colorsUsed = bytes.u32(l.info + 32);
    }
    if (planes != 1 || !validBitCount(l.bitCount) || l.width <= 0 || l.height == 0)
        return std::nullopt;
    if (l.height < 0) {
        l.topDown = true;
        l.height = -l.height;
    }

    std::size_t masksAfterHeader = 0;
    switch (l.compression) {
    case Rgb:
        if (l.bitCount == 16)
            l.masks = {0x7C00, 0x03E0, 0x001F, 0};
        else if (l.bitCount == 32)
            l.masks = {0xFF0000, 0xFF00, 0xFF, 0};
        break;
    case Rle8:
    case Rle4:
        // Run-length data is bottom-up by definition.
        if (l.bitCount != (l.compression == Rle8 ? 8u : 4u) || l.topDown)
            return std::nullopt;
        break;
    case BitFields:
    case AlphaBitFields: {
        if (isOs2Header(l.headerSize) || (l.bitCount != 16 && l.bitCount != 32))
            return std::nullopt;
        // A 40-byte header is followed by the masks; the larger ones hold them.
        if (l.headerSize == 40) {
            const std::size_t count = l.compression == AlphaBitFields ? 4 : 3;
            masksAfterHeader = count * 4;
            if (!bytes.has(l.info + 40, masksAfterHeader))
                return std::nullopt;
            for (std::size_t i = 0; i < count; ++i)
                l.masks[i] = bytes.u32(l.info + 40 + 4 * i);
        } else {
            for (std::size_t i = 0; i < 3; ++i)
                l.masks[i] = bytes.u32(l.info + 40 + 4 * i);
            if (l.headerSize >= 56)
                l.masks[3] = bytes.u32(l.info + 52);
        }
        break;
    }
    default:
        return std::nullopt; // JPEG, PNG, Huffman, RLE24, CMYK variants
    }

    l.palette = l.info + l.headerSize + masksAfterHeader;
    // The colour table: as many entries as declared (all 2^bits when none are), though never more
    // than fit before the pixel data.
    const std::uint64_t declared =
        colorsUsed != 0 ? colorsUsed : (l.bitCount <= 8 ? 1u << l.bitCount : 0u);
    std::uint64_t pixels = l.palette + declared * l.entryBytes;
    if (l.fileHeader) {
        // Offsets count from the start of the file; one pointing into the headers is ignored.
        const std::uint64_t offset = bytes.u32(l.base + 10);
        if (offset >= l.palette)
            pixels = offset;
    }
    if (pixels >= bytes.size())
        return std::nullopt; // no pixel data at all
    l.pixels = static_cast<std::size_t>(pixels);
    if (l.bitCount <= 8) {
        const std::size_t room = (l.pixels - l.palette) / l.entryBytes;
        l.paletteEntries = static_cast<std::size_t>(std::min<std::uint64_t>({declared, 256, room}));
    }
    return l;
}

using Palette = std::array<std::array<std::uint8_t, 3>, 256>;

Palette readPalette(const Bytes& bytes, const Layout& l) {
    Palette palette{}; // indices past the table are black
    for (std::size_t i = 0; i < l.paletteEntries; ++i) {
        const std::size_t at = l.palette + i * l.entryBytes;
        if (!bytes.has(at, 3))
            break;
        std::memcpy(palette[i].data(), bytes.at(at), 3);
    }
    return palette;
}

// A 16- or 32-bit pixel, little-endian.
std::uint32_t readPixel(const std::uint8_t* row, std::int64_t x, std::uint32_t bitCount) {
    if (bitCount == 16)
        return row[2 * x] | row[2 * x + 1] << 8;
    const std::uint8_t* p = row + 4 * x;
    return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t{p[3]} << 24;
}

class BmpDecoder {
public:
    BmpDecoder(const Bytes& bytes, const Layout& layout, const DecodeTarget& target)
        : bytes_(bytes), l_(layout), target_(target), palette_(readPalette(bytes, layout)) {}

    void decode() {
        if (l_.compression == Rle8 || l_.compression == Rle4) {
            fillTarget(target_, 255); // what the runs skip stays white
            decodeRunLength();
        } else {
            decodeRows();
        }
    }

private:
    void put(std::int64_t x, std::int64_t y, std::uint32_t index) {
        if (x < l_.width && y < l_.height)
            std::memcpy(target_.row(static_cast<int>(y)) + x * 3, palette_[index & 0xFF].data(), 3);
    }

    void decodeRows() {
        const std::size_t rowBytes =
            static_cast<std::size_t>((l_.width * l_.bitCount + 31) / 32 * 4);
        const std::size_t available = bytes_.size() - l_.pixels;
        if (available / rowBytes < static_cast<std::size_t>(l_.height))
            fillTarget(target_, 255); // a truncated file: what is missing stays white
        const bool alpha = l_.masks[3] != 0 && anyAlpha(rowBytes, available);
        const Channel red(l_.masks[0]), green(l_.masks[1]), blue(l_.masks[2]),
            opacity(alpha ? l_.masks[3] : 0);
        for (std::int64_t r = 0; r < l_.height; ++r) {
            const std::size_t start = static_cast<std::size_t>(r) * rowBytes;
            if (start >= available)
                break;
            const std::uint8_t* in = bytes_.at(l_.pixels + start);
            const std::size_t present = std::min(rowBytes, available - start);
            const auto count = std::min<std::int64_t>(
                l_.width, static_cast<std::int64_t>(present * 8 / l_.bitCount));
            const int y = static_cast<int>(l_.topDown ? r : l_.height - 1 - r);
            std::uint8_t* out = target_.row(y);
            switch (l_.bitCount) {
            case 24:
                std::memcpy(out, in, static_cast<std::size_t>(count) * 3);
                break;
            case 16:
            case 32:
                for (std::int64_t x = 0; x < count; ++x, out += 3) {
                    const std::uint32_t pixel = readPixel(in, x, l_.bitCount);
                    out[0] = blue(pixel);
                    out[1] = green(pixel);
                    out[2] = red(pixel);
                    if (alpha)
                        flatten(out, opacity(pixel));
                }
                break;
            default: {
                const unsigned bits = l_.bitCount;
                const unsigned mask = (1u << bits) - 1;
                for (std::int64_t x = 0; x < count; ++x, out += 3) {
                    const std::uint64_t bit = static_cast<std::uint64_t>(x) * bits;
                    const unsigned index = in[bit / 8] >> (8 - bits - bit % 8) & mask;
                    std::memcpy(out, palette_[index].data(), 3);
                }
            }
            }
        }
    }

    // Some writers declare an alpha mask but leave every alpha value 0: such a file is opaque.
    bool anyAlpha(std::size_t rowBytes, std::size_t available) const {
        const std::size_t pixelBytes = l_.bitCount / 8;
        for (std::int64_t r = 0; r < l_.height; ++r) {
            const std::size_t start = static_cast<std::size_t>(r) * rowBytes;
            if (start >= available)
                break;
            const std::size_t present = std::min(rowBytes, available - start);
            const auto count =
                std::min<std::int64_t>(l_.width, static_cast<std::int64_t>(present / pixelBytes));
            const std::uint8_t* in = bytes_.at(l_.pixels + start);
            for (std::int64_t x = 0; x < count; ++x)
                if (readPixel(in, x, l_.bitCount) & l_.masks[3])
                    return true;
        }
        return false;
    }

    static void flatten(std::uint8_t* pixel, unsigned alpha) {
        for (int i = 0; i < 3; ++i) {
            const unsigned t = pixel[i] * alpha + 255 * (255 - alpha) + 128;
            pixel[i] = static_cast<std::uint8_t>((t + (t >> 8)) >> 8);
        }
    }

    void decodeRunLength() {
        const bool four = l_.compression == Rle4;
        std::size_t pos = l_.pixels;
        const std::size_t end = bytes_.size();
        std::int64_t x = 0, y = 0; // y counts rows from the bottom
        while (pos + 2 <= end && y < l_.height) {
            const unsigned count = *bytes_.at(pos);
            const unsigned value = *bytes_.at(pos + 1);
            pos += 2;
            if (count > 0) { // a run of one index (RLE4: two alternating ones)
                for (unsigned i = 0; i < count; ++i, ++x)
                    put(x, l_.height - 1 - y, four ? (i % 2 ? value & 15 : value >> 4) : value);
                continue;
            }
            switch (value) {
            case 0: // end of line
                x = 0;
                ++y;
                break;
            case 1: // end of bitmap
                return;
            case 2: // move right and up
                if (pos + 2 > end)
                    return;
                x += *bytes_.at(pos);
                y += *bytes_.at(pos + 1);
                pos += 2;
                break;
            default: { // `value` literal indices, padded to a 16-bit boundary
                const std::size_t length = four ? (value + 1) / 2 : value;
                for (unsigned i = 0; i < value; ++i, ++x) {
                    const std::size_t at = pos + (four ? i / 2 : i);
                    if (at >= end)
                        return;
                    const unsigned byte = *bytes_.at(at);
                    put(x, l_.height - 1 - y, four ? (i % 2 ? byte & 15 : byte >> 4) : byte);
                }
                pos += (length + 1) & ~std::size_t{1};
            }
            }
        }
    }

    const Bytes& bytes_;
    const Layout& l_;
    const DecodeTarget& target_;
    const Palette palette_;
};

} // namespace

bool looksLikeBmp(std::span<const std::uint8_t> data) {
    const Bytes bytes(data);
    if (bytes.has(0, 2) && (bytes.u16(0) == 0x4D42 || bytes.u16(0) == 0x4142))
        return true;
    const std::uint32_t size = bytes.u32(0);
    if (!validHeaderSize(size) || !bytes.has(0, 16))
        return false;
    const bool core = size == CoreHeaderSize;
    return bytes.u16(core ? 8 : 12) == 1 && validBitCount(bytes.u16(core ? 10 : 14));
}

void decodeBmp(std::span<const std::uint8_t> data, const TargetAllocator& allocate) {
    const Bytes bytes(data);
    const auto layout = readLayout(bytes);
    if (!layout)
        raise(ErrInvalidPicture);
    checkPictureSize(layout->width, layout->height, data.size());
    const DecodeTarget target = allocate(static_cast<int>(layout->width),
                                         static_cast<int>(layout->height), TargetPixels::Zeroed);
    BmpDecoder(bytes, *layout, target).decode();
}

} // namespace platform
