#include "platform/picture/tgadecoder.h"

#include "platform/errors/runtimeerror.h"
#include "platform/picture/onwhite.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace platform {

namespace {

constexpr std::size_t HeaderSize = 18;
constexpr std::size_t FooterSize = 26;        // extension offset, developer offset, signature
constexpr std::size_t ExtensionSize = 495;    // the extension area of version 2
constexpr std::size_t AttributesType = 494;   // its byte that says what the alpha means
constexpr std::int64_t PixelsPerPacket = 128; // the most a run-length packet holds

enum ImageType { ColourMapped = 1, TrueColour = 2, Grey = 3 };
constexpr unsigned RunLengthBit = 8;

enum AlphaMeaning { UsefulAlpha = 3, PremultipliedAlpha = 4 };

std::uint32_t u16(std::span<const std::uint8_t> data, std::size_t at) {
    return data[at] | data[at + 1] << 8;
}

std::uint32_t u32(std::span<const std::uint8_t> data, std::size_t at) {
    return u16(data, at) | u16(data, at + 2) << 16;
}

bool knownEntryBits(unsigned bits) {
    return bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

struct Header {
    unsigned type = 0; // without the run-length bit
    bool runLength = false;
    std::uint32_t mapFirst = 0; // the index of the first colour-map entry
    std::uint32_t mapLength = 0;
    unsigned mapBits = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    unsigned bits = 0;
    unsigned alphaBits = 0;
    bool rightToLeft = false;
    bool topDown = false;
    std::size_t map = 0;    // where the colour map starts (after the image ID)
    std::size_t pixels = 0; // where the pixel data starts

    std::size_t pixelBytes() const { return (bits + 7) / 8; }
    std::size_t entryBytes() const { return (mapBits + 7) / 8; }
};

std::optional<Header> readHeader(std::span<const std::uint8_t> data) {
    if (data.size() < HeaderSize)
        return std::nullopt;
    Header h;
    const unsigned mapType = data[1];
    h.type = data[2] & ~RunLengthBit;
    h.runLength = (data[2] & RunLengthBit) != 0;
    h.mapFirst = u16(data, 3);
    h.mapLength = u16(data, 5);
    h.mapBits = data[7];
    h.width = u16(data, 12);
    h.height = u16(data, 14);
    h.bits = data[16];
    const unsigned descriptor = data[17];
    h.alphaBits = descriptor & 15;
    h.rightToLeft = (descriptor & 16) != 0;
    h.topDown = (descriptor & 32) != 0;
    // Interleaved rows (the two top bits) were never written by anything still around.
    if ((descriptor & 0xC0) != 0 || h.alphaBits > 8 || h.width == 0 || h.height == 0 ||
        data[2] > (RunLengthBit | Grey))
        return std::nullopt;
    // A colour map is declared with its length and a known entry size, or not at all.
    const bool mapFits = mapType == 1 ? knownEntryBits(h.mapBits) && h.mapLength != 0
                                      : mapType == 0 && h.mapLength == 0 &&
                                            (h.mapBits == 0 || knownEntryBits(h.mapBits));
    if (!mapFits)
        return std::nullopt;
    bool depthFits = false;
    switch (h.type) {
    case ColourMapped:
        depthFits = mapType == 1 && (h.bits == 8 || h.bits == 16);
        break;
    case TrueColour:
        depthFits = h.bits == 15 || knownEntryBits(h.bits);
        break;
    case Grey:
        depthFits = h.bits == 8 || h.bits == 16;
        break;
    default:
        break;
    }
    if (!depthFits)
        return std::nullopt;
    h.map = HeaderSize + data[0];
    h.pixels = h.map + std::size_t{h.mapLength} * h.entryBytes();
    return h;
}

// What the extension area of version 2 says the alpha means, where the file has one.
std::optional<unsigned> alphaMeaning(std::span<const std::uint8_t> data) {
    static constexpr char Signature[] = "TRUEVISION-XFILE."; // with its terminating zero: 18 bytes
    if (data.size() < HeaderSize + FooterSize)
        return std::nullopt;
    const std::size_t footer = data.size() - FooterSize;
    if (std::memcmp(data.data() + footer + 8, Signature, sizeof Signature) != 0)
        return std::nullopt;
    const std::size_t extension = u32(data, footer);
    if (extension < HeaderSize || extension > footer || footer - extension < ExtensionSize ||
        u16(data, extension) < ExtensionSize)
        return std::nullopt;
    return data[extension + AttributesType];
}

struct Colour {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
    std::uint8_t alpha = 255;
};

std::uint8_t fiveBits(std::uint32_t value) {
    value &= 31;
    return static_cast<std::uint8_t>(value << 3 | value >> 2);
}

// A pixel or colour-map entry of 15, 16, 24 or 32 bits (16: the top bit is the alpha).
Colour direct(const std::uint8_t* p, unsigned bits) {
    switch (bits) {
    case 15:
    case 16: {
        const std::uint32_t value = p[0] | p[1] << 8;
        return {fiveBits(value), fiveBits(value >> 5), fiveBits(value >> 10),
                static_cast<std::uint8_t>(value & 0x8000 ? 255 : 0)};
    }
    case 24:
        return {p[0], p[1], p[2], 255};
    default:
        return {p[0], p[1], p[2], p[3]};
    }
}

// Turns a pixel's bytes into its colour.
class PixelReader {
public:
    PixelReader(std::span<const std::uint8_t> data, const Header& h) : h_(h) {
        if (h.type != ColourMapped)
            return;
        palette_.reserve(h.mapLength);
        for (std::size_t i = 0; i < h.mapLength; ++i)
            palette_.push_back(direct(data.data() + h.map + i * h.entryBytes(), h.mapBits));
    }

    // Whether pixels carry alpha values at all (15-bit ones have none).
    bool hasAlphaChannel() const {
        switch (h_.type) {
        case ColourMapped:
            return h_.mapBits == 16 || h_.mapBits == 32;
        case TrueColour:
            return h_.bits == 16 || h_.bits == 32;
        default:
            return h_.bits == 16;
        }
    }

    Colour operator()(const std::uint8_t* p) const {
        switch (h_.type) {
        case ColourMapped: {
            // Entries before the first one the map holds, and past its end, are black.
            const std::uint32_t entry = (h_.bits == 8 ? p[0] : p[0] | p[1] << 8) - h_.mapFirst;
            return entry < palette_.size() ? palette_[entry] : Colour{};
        }
        case Grey:
            return {p[0], p[0], p[0], h_.bits == 16 ? p[1] : std::uint8_t{255}};
        default:
            return direct(p, h_.bits);
        }
    }

private:
    const Header& h_;
    std::vector<Colour> palette_;
};

// Hands `visit` each pixel's bytes in file order, until the picture is full, the data ends or
// `visit` returns false. Run-length packets may run on into the next row. Returns how many
// pixels were handed over.
template <typename Visit>
std::int64_t walkPixels(std::span<const std::uint8_t> data, const Header& h, Visit&& visit) {
    const std::int64_t total = h.width * h.height;
    const std::size_t size = h.pixelBytes();
    std::size_t at = h.pixels;
    std::int64_t done = 0;
    if (!h.runLength) {
        const auto present = std::min(total, static_cast<std::int64_t>((data.size() - at) / size));
        for (; done < present; ++done, at += size)
            if (!visit(data.data() + at))
                break;
        return done;
    }
    while (done < total && at < data.size()) {
        const unsigned packet = data[at++];
        const bool run = (packet & 128) != 0;
        const std::int64_t count = std::min<std::int64_t>((packet & 127) + 1, total - done);
        for (std::int64_t i = 0; i < count; ++i) {
            if (data.size() - at < size || !visit(data.data() + at))
                return done;
            ++done;
            if (!run)
                at += size;
        }
        if (run)
            at += size;
    }
    return done;
}

// Where the pixels go, in file order: rows from the bottom or the top, each from the left or
// the right.
class PixelPlaces {
public:
    PixelPlaces(const DecodeTarget& target, const Header& h) : target_(target), h_(h) {}

    std::uint8_t* next() {
        const std::int64_t y = h_.topDown ? row_ : h_.height - 1 - row_;
        const std::int64_t x = h_.rightToLeft ? h_.width - 1 - column_ : column_;
        if (++column_ == h_.width) {
            column_ = 0;
            ++row_;
        }
        return target_.row(static_cast<int>(y)) + x * 3;
    }

private:
    const DecodeTarget& target_;
    const Header& h_;
    std::int64_t row_ = 0;
    std::int64_t column_ = 0;
};

} // namespace

bool looksLikeTga(std::span<const std::uint8_t> data) {
    return readHeader(data).has_value();
}

void decodeTga(std::span<const std::uint8_t> data, const TargetAllocator& allocate) {
    const auto header = readHeader(data);
    if (!header || header->pixels >= data.size())
        raise(ErrInvalidPicture);
    const Header& h = *header;
    checkPictureSize(h.width, h.height, data.size());
    // A header is believed only as far as its data could hold the picture at the densest coding.
    const std::int64_t total = h.width * h.height;
    const std::int64_t packets = (total + PixelsPerPacket - 1) / PixelsPerPacket;
    if (packets * static_cast<std::int64_t>(1 + h.pixelBytes()) >
        static_cast<std::int64_t>(data.size() - h.pixels))
        raise(ErrInvalidPicture);
    allocate.expect(bitmapBytes(h.width, h.height));

    const PixelReader read(data, h);
    const auto meaning = alphaMeaning(data);
    bool alpha =
        read.hasAlphaChannel() &&
        (meaning ? *meaning == UsefulAlpha || *meaning == PremultipliedAlpha : h.alphaBits > 0);
    if (alpha) {
        bool anyAlpha = false;
        walkPixels(data, h, [&](const std::uint8_t* p) {
            anyAlpha = read(p).alpha != 0;
            return !anyAlpha;
        });
        alpha = anyAlpha;
    }
    const bool premultiplied = meaning == PremultipliedAlpha;

    const DecodeTarget target =
        allocate(static_cast<int>(h.width), static_cast<int>(h.height), TargetPixels::Overwritten);
    PixelPlaces places(target, h);
    const std::int64_t done = walkPixels(data, h, [&](const std::uint8_t* p) {
        const Colour c = read(p);
        std::uint8_t* out = places.next();
        out[0] = c.blue;
        out[1] = c.green;
        out[2] = c.red;
        if (alpha)
            for (int i = 0; i < 3; ++i)
                out[i] =
                    static_cast<std::uint8_t>(premultiplied ? std::min(255, out[i] + 255 - c.alpha)
                                                            : onWhite(out[i], c.alpha, 255));
        return true;
    });
    for (std::int64_t i = done; i < total; ++i)
        std::memset(places.next(), 255, 3); // what a truncated file lacks
}

} // namespace platform
