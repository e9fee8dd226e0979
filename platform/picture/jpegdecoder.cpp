#include "platform/picture/jpegdecoder.h"

#include "platform/colour/colourtransform.h"
#include "platform/errors/runtimeerror.h"
#include "platform/gdi/pixelmemory.h"
#include "platform/picture/exiforientation.h"
#include "platform/picture/jpegheader.h"
#include "platform/picture/orientedcopy.h"

#include <array>
#include <memory>
#include <string_view>
#include <turbojpeg.h>
#include <vector>

namespace platform {

namespace {

struct TjDestroy {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, TjDestroy>;

// The JPEG library's warnings: the data was damaged but decoding went on to the last row. Its
// warning code stays set when a fatal error follows, so the message is what tells them apart (the
// library reports only the first warning, and a fatal error always overwrites it).
bool isWarning(std::string_view message) {
    static constexpr std::array<std::string_view, 7> warnings = {
        "Corrupt JPEG data",
        "Premature end of JPEG file",
        "Inconsistent progression sequence",
        "Invalid SOS parameters for sequential JPEG",
        "Warning: unknown JFIF revision",
        "Unknown Adobe color transform code",
        "Application transferred too many scanlines",
    };
    for (const auto warning : warnings)
        if (message.starts_with(warning))
            return true;
    return false;
}

bool isOutOfMemory(std::string_view message) {
    return message.find("Insufficient memory") != std::string_view::npos ||
           message.find("Memory allocation failure") != std::string_view::npos;
}

// Accepts a result that is success or a mere warning; anything else is thrown.
void check(void* handle, int result) {
    if (result == 0)
        return;
    const char* text = tjGetErrorStr2(handle);
    const std::string_view message = text ? text : "";
    if (tjGetErrorCode(handle) == TJERR_WARNING && isWarning(message))
        return;
    throw RuntimeError(isOutOfMemory(message) ? ErrOutOfMemory : ErrInvalidPicture,
                       QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size())));
}

constexpr std::uint8_t scale(unsigned a, unsigned b) { // a * b / 255, rounded
    const unsigned t = a * b + 128;
    return static_cast<std::uint8_t>((t + (t >> 8)) >> 8);
}

// Pixel converters, as lambdas so that the copy loop inlines them.
constexpr auto copyBgr = [](const std::uint8_t* in, std::uint8_t* out) {
    out[0] = in[0];
    out[1] = in[1];
    out[2] = in[2];
};

// Adobe's programs store CMYK inverted (255 = no ink); other writers store ink amounts.
constexpr auto invertedCmykToBgr = [](const std::uint8_t* in, std::uint8_t* out) {
    out[0] = scale(in[2], in[3]);
    out[1] = scale(in[1], in[3]);
    out[2] = scale(in[0], in[3]);
};

constexpr auto cmykToBgr = [](const std::uint8_t* in, std::uint8_t* out) {
    out[0] = scale(255u - in[2], 255u - in[3]);
    out[1] = scale(255u - in[1], 255u - in[3]);
    out[2] = scale(255u - in[0], 255u - in[3]);
};

// Pixels decoded aside, top-down, `pixelBytes` (3 or 4) to a pixel. Plain pixel memory, not a
// bitmap: pictures are decoded on worker threads too, away from the drawing handles; the memory
// is recycled all the same, so a run over many turned photos does not fault in fresh memory for
// each.
class Scratch {
public:
    Scratch(int width, int height, int pixelBytes)
        : stride_(scratchStride(width, pixelBytes)),
          memory_(gdi::PixelMemory::allocate(stride_ * static_cast<std::size_t>(height))) {
        if (!memory_)
            raise(ErrOutOfMemory);
    }
    // Bytes of a scratch of that size.
    static std::size_t bytes(int width, int height, int pixelBytes) {
        return scratchStride(width, pixelBytes) * static_cast<std::size_t>(height);
    }
    std::uint8_t* bits() const { return memory_.data(); }
    std::size_t stride() const { return stride_; }

private:
    static std::size_t scratchStride(int width, int pixelBytes) {
        return (static_cast<std::size_t>(width) * pixelBytes + 3) & ~std::size_t{3};
    }

    std::size_t stride_;
    gdi::PixelMemory memory_;
};

// What the JPEG library holds besides its output: a progressive picture keeps the coefficients of
// the whole picture (2 bytes for each sample, at most one sample a pixel per component), a
// sequential one a few rows of blocks.
std::size_t codecBytes(const JpegHeader& header) {
    const auto pixels = static_cast<std::size_t>(header.width) * header.height;
    const bool progressive = header.frameMarker == 0xC2 || header.frameMarker == 0xC6 ||
                             header.frameMarker == 0xCA || header.frameMarker == 0xCE;
    return progressive ? pixels * 2 * static_cast<std::size_t>(header.components)
                       : static_cast<std::size_t>(header.width) * 32 * 4 * 4;
}

// How the decoded pixels turn into sRGB, when the file describes its colours. A grey picture
// with an RGB profile (or EXIF's Adobe RGB) is converted as the colour rows it is decoded into.
struct JpegColour {
    std::optional<ColourTransform> transform;
    SourcePixels source = SourcePixels::Bgr8;
};

JpegColour colourOf(const JpegHeader& header) {
    if (header.components == 4) {
        const auto source = header.adobe ? SourcePixels::InvertedCmyk8 : SourcePixels::Cmyk8;
        return {ColourTransform::toSrgb(header.colour, source), source};
    }
    if (header.components == 1)
        if (auto grey = ColourTransform::toSrgb(header.colour, SourcePixels::Gray8))
            return {std::move(grey), SourcePixels::Gray8};
    return {ColourTransform::toSrgb(header.colour, SourcePixels::Bgr8), SourcePixels::Bgr8};
}

// Converts CMYK rows into blue-green-red ones where they lie: each row keeps its stride, its
// pixels now 3 bytes each from the row's start.
void convertCmykRows(const Scratch& scratch, int width, int height, const ColourTransform& colour) {
    std::vector<std::uint8_t> converted(static_cast<std::size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = scratch.bits() + static_cast<std::size_t>(y) * scratch.stride();
        colour.convertRow(row, converted.data(), width);
        std::copy(converted.begin(), converted.end(), row);
    }
}

} // namespace

void decodeJpeg(std::span<const std::uint8_t> data, const TargetAllocator& allocate) {
    const auto header = readJpegHeader(data);
    if (!header || !header->decodable())
        raise(ErrInvalidPicture);
    const int width = header->width;
    const int height = header->height;
    checkPictureSize(width, height, data.size());
    const int orientation = header->orientation;
    const bool turned = swapsAxes(orientation);
    const JpegColour colour = colourOf(*header);
    const bool cmyk = header->components == 4;
    const bool aside = cmyk || turned;
    allocate.expect(bitmapBytes(width, height) + codecBytes(*header) +
                    (aside ? Scratch::bytes(width, height, cmyk ? 4 : 3) : 0));

    const TjHandle decompressor(tjInitDecompress());
    if (!decompressor)
        raise(ErrOutOfMemory);
    const auto* jpeg = data.data();
    const auto jpegSize = static_cast<unsigned long>(data.size());

    if (!aside) {
        // The common case: decoded straight into the target, bottom-up, at its padded stride.
        // Reading the rows top-down into the bottom-up target mirrors them top to bottom.
        // Every row is decoded, a truncated stream's missing part as grey, or the decode fails
        // and the picture goes.
        const DecodeTarget target = allocate(width, height, TargetPixels::Overwritten);
        const bool flipped = orientation == 3 || orientation == 4;
        const int flags = TJFLAG_LIMITSCANS | (flipped ? 0 : TJFLAG_BOTTOMUP);
        check(decompressor.get(),
              tjDecompress2(decompressor.get(), jpeg, jpegSize, target.bits, width,
                            static_cast<int>(target.stride), height, TJPF_BGR, flags));
        if (orientation == 2 || orientation == 3)
            mirrorRows(target);
        if (colour.transform)
            convertTarget(target, *colour.transform, colour.source);
        return;
    }

    // CMYK needs converting, a quarter turn needs transposing: decode top-down aside first.
    const int pixelBytes = cmyk ? 4 : 3;
    const Scratch scratch(width, height, pixelBytes);
    check(decompressor.get(), tjDecompress2(decompressor.get(), jpeg, jpegSize, scratch.bits(),
                                            width, static_cast<int>(scratch.stride()), height,
                                            cmyk ? TJPF_CMYK : TJPF_BGR, TJFLAG_LIMITSCANS));
    const DecodeTarget target = turned ? allocate(height, width, TargetPixels::Overwritten)
                                       : allocate(width, height, TargetPixels::Overwritten);
    if (cmyk && colour.transform) // its own profile rather than the plain formulas below
        convertCmykRows(scratch, width, height, *colour.transform);
    if (!cmyk || colour.transform)
        copyOriented<3>(scratch.bits(), scratch.stride(), width, height, orientation, target,
                        copyBgr);
    else if (header->adobe)
        copyOriented<4>(scratch.bits(), scratch.stride(), width, height, orientation, target,
                        invertedCmykToBgr);
    else
        copyOriented<4>(scratch.bits(), scratch.stride(), width, height, orientation, target,
                        cmykToBgr);
    if (!cmyk && colour.transform)
        convertTarget(target, *colour.transform, colour.source);
}

} // namespace platform
