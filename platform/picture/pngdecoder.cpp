#include "platform/picture/pngdecoder.h"

#include "platform/colour/colourtransform.h"
#include "platform/errors/runtimeerror.h"
#include "platform/picture/onwhite.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <png.h>
#include <string_view>

namespace platform {

namespace {

constexpr std::array<std::uint8_t, 8> Signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// A chunk gets no more memory than the file holds, but a compressed ICC profile may unfold to
// more than its chunk: none that a photo carries needs more than this.
constexpr std::size_t LargestProfile = std::size_t{4} << 20;

// Only these chunks are read besides the header, palette, transparency and image data.
constexpr png_byte UsedChunks[] = "iCCP\0sRGB";

// The file as libpng reads it, and the kind of error that ended the reading.
struct Source {
    std::span<const std::uint8_t> data;
    std::size_t at = 0;
    int error = ErrInvalidPicture;
};

void readFromSource(png_structp png, png_bytep out, size_t length) {
    auto* source = static_cast<Source*>(png_get_io_ptr(png));
    if (length > source->data.size() - source->at)
        png_error(png, "the file ends early");
    std::memcpy(out, source->data.data() + source->at, length);
    source->at += length;
}

void onError(png_structp png, png_const_charp message) {
    if (std::string_view(message).find("memory") != std::string_view::npos)
        static_cast<Source*>(png_get_error_ptr(png))->error = ErrOutOfMemory;
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// libpng's read and info records over a source, and the one way to make calls into them that
// can fail.
class PngReader {
public:
    explicit PngReader(Source& source)
        : source_(source),
          png_(png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, onError, onWarning)),
          info_(png_ ? png_create_info_struct(png_) : nullptr) {
        if (!info_) {
            png_destroy_read_struct(&png_, &info_, nullptr);
            raise(ErrOutOfMemory);
        }
        png_set_read_fn(png_, &source, readFromSource);
    }
    ~PngReader() { png_destroy_read_struct(&png_, &info_, nullptr); }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

    // Runs libpng calls that may end in its error handler, which jumps back here: the error it
    // noted in the source is raised then. The calls must leave no object with a destructor
    // behind them on the stack.
    template <class Calls> void run(Calls&& calls) const {
        if (setjmp(png_jmpbuf(png_)))
            raise(source_.error);
        calls();
    }

private:
    const Source& source_;
    png_structp png_;
    png_infop info_;
};

// What the header says.
struct Header {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int depth = 0;
    int type = 0;
};

// Reads the chunks before the image data, with the limits that keep a hostile file from taking
// memory, and refuses a size beyond the loader's bound.
Header readHeader(const PngReader& reader, std::size_t fileBytes) {
    png_structp png = reader.png();
    png_infop info = reader.info();
    Header header;
    reader.run([&] {
        constexpr auto longest = static_cast<png_uint_32>(MaxPicturePixels);
        png_set_user_limits(png, longest, longest);
        png_set_chunk_malloc_max(png, std::max(fileBytes, LargestProfile));
        png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
        png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_AS_DEFAULT, UsedChunks, 2);
        // Damage that leaves the image data readable costs nothing: the rows decide.
        png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_WARN_DISCARD);
        png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
        png_read_info(png, info);
        png_get_IHDR(png, info, &header.width, &header.height, &header.depth, &header.type, nullptr,
                     nullptr, nullptr);
    });
    checkPictureSize(header.width, header.height, fileBytes);
    return header;
}

// The colours: an ICC profile, unless an sRGB chunk says what the values are anyway. Gamma and
// chromaticities alone are not followed: most files that carry only them were written with
// sRGB's values (or a gamma of 1/2.2 meant as sRGB), and following a stray one would change
// outputs that come out right today.
ColourDescription describeColours(const PngReader& reader) {
    ColourDescription colour;
    int intent = 0;
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileBytes = 0;
    if (!png_get_sRGB(reader.png(), reader.info(), &intent) &&
        png_get_iCCP(reader.png(), reader.info(), &name, &compression, &profile, &profileBytes))
        colour.icc.assign(profile, profile + profileBytes);
    return colour;
}

// The samples the colour transform is handed, as the file holds them (alpha aside).
SourcePixels sourcePixels(const Header& header) {
    const bool deep = header.depth == 16;
    if (!(header.type & PNG_COLOR_MASK_COLOR))
        return deep ? SourcePixels::Gray16 : SourcePixels::Gray8;
    return deep ? SourcePixels::Rgb16 : SourcePixels::Rgb8;
}

// Lays alpha onto white and drops it: `Colours` samples and an alpha per pixel in, `Colours` out
// (`out` may be `in`: it is written behind where it is read).
template <class Sample, int Colours> void flatten(const Sample* in, Sample* out, int width) {
    constexpr std::uint32_t max = std::numeric_limits<Sample>::max();
    for (int x = 0; x < width; ++x, in += Colours + 1, out += Colours) {
        const std::uint32_t alpha = in[Colours];
        for (int c = 0; c < Colours; ++c)
            out[c] = static_cast<Sample>(onWhite(in[c], alpha, max));
    }
}

void greyToBgr(const std::uint8_t* in, std::uint8_t* out, int width) {
    for (int x = 0; x < width; ++x, out += 3)
        out[0] = out[1] = out[2] = in[x];
}

// The rows as libpng hands them over after the transformations asked for.
struct RowLayout {
    int width = 0;
    int colours = 3;    // 1 grey, 3 colour
    bool alpha = false; // an alpha sample follows the colours
    bool deep = false;  // 16-bit samples, native byte order
    bool bgr = false;   // colours in blue-green-red order
    std::size_t bytes = 0;
    int passes = 1; // of an interlaced file, each adding pixels to every row

    // Whether libpng writes the target's own rows, or rows that are finished into the target.
    bool ownRows() const { return bgr && !alpha; }
    // Rows read aside: one, or for an interlaced file all of them.
    std::size_t scratchRows(png_uint_32 height) const {
        return ownRows() ? 0 : passes > 1 ? height : 1;
    }
};

// Turns one row into the target's: alpha onto white, then either the colour transform or the
// plain rearrangement. `row` may be overwritten.
void finishRow(std::uint8_t* row, const RowLayout& layout,
               const std::optional<ColourTransform>& transform, std::uint8_t* out) {
    const int width = layout.width;
    if (layout.alpha) {
        const bool grey = layout.colours == 1;
        if (layout.deep) {
            auto* samples = reinterpret_cast<std::uint16_t*>(row);
            grey ? flatten<std::uint16_t, 1>(samples, samples, width)
                 : flatten<std::uint16_t, 3>(samples, samples, width);
        } else if (grey || transform) {
            grey ? flatten<std::uint8_t, 1>(row, row, width)
                 : flatten<std::uint8_t, 3>(row, row, width);
        } else {
            flatten<std::uint8_t, 3>(row, out, width); // blue-green-red already
            return;
        }
    }
    if (transform)
        transform->convertRow(row, out, width);
    else if (layout.colours == 1)
        greyToBgr(row, out, width);
    else
        std::memcpy(out, row, static_cast<std::size_t>(width) * 3);
}

// Asks libpng for rows as the target takes them: palettes and low depths expanded, transparency
// as alpha; 16-bit values stay so only for a colour transform, otherwise they are rounded to 8
// bits; without a transform colours come in blue-green-red order. Rows of another length than
// that are refused.
RowLayout askForRows(const PngReader& reader, const Header& header, bool transformed) {
    png_structp png = reader.png();
    png_infop info = reader.info();
    RowLayout layout;
    layout.width = static_cast<int>(header.width);
    layout.colours = (header.type & PNG_COLOR_MASK_COLOR) ? 3 : 1;
    layout.alpha = (header.type & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    layout.deep = header.depth == 16 && transformed;
    layout.bgr = layout.colours == 3 && !transformed;
    reader.run([&] {
        png_set_expand(png);
        if (layout.deep)
            png_set_swap(png);
        else
            png_set_scale_16(png);
        if (layout.bgr)
            png_set_bgr(png);
        layout.passes = png_set_interlace_handling(png);
        png_read_update_info(png, info);
        layout.bytes = png_get_rowbytes(png, info);
    });
    const int sampleBytes = layout.deep ? 2 : 1;
    if (layout.bytes != static_cast<std::size_t>(layout.width) * sampleBytes *
                            static_cast<std::size_t>(layout.colours + (layout.alpha ? 1 : 0)))
        raise(ErrInvalidPicture);
    return layout;
}

// Reads the picture's rows into the target. Each pass of an interlaced file adds pixels to every
// row (libpng combines them into what the row holds): rows are complete in the last pass.
void readRows(const PngReader& reader, png_uint_32 height, const RowLayout& layout,
              const std::optional<ColourTransform>& transform, const DecodeTarget& target) {
    const auto read = [&](png_bytep row) {
        reader.run([&] { png_read_row(reader.png(), row, nullptr); });
    };
    if (layout.ownRows()) {
        for (int pass = 0; pass < layout.passes; ++pass) {
            for (png_uint_32 y = 0; y < height; ++y)
                read(target.row(static_cast<int>(y)));
        }
        return;
    }
    const std::size_t rows = layout.scratchRows(height);
    if (!fitsIntoMemory(static_cast<std::int64_t>(layout.bytes * rows)))
        raise(ErrOutOfMemory);
    const auto scratch = std::make_unique_for_overwrite<std::uint8_t[]>(layout.bytes * rows);
    for (int pass = 0; pass < layout.passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            std::uint8_t* row = scratch.get() + (rows > 1 ? layout.bytes * y : 0);
            read(row);
            if (pass == layout.passes - 1)
                finishRow(row, layout, transform, target.row(static_cast<int>(y)));
        }
    }
}

} // namespace

bool looksLikePng(std::span<const std::uint8_t> data) {
    return data.size() >= Signature.size() &&
           std::equal(Signature.begin(), Signature.end(), data.begin());
}

void decodePng(std::span<const std::uint8_t> data, const TargetAllocator& allocate) {
    if (!looksLikePng(data))
        raise(ErrInvalidPicture);
    Source source{data};
    const PngReader reader(source);
    const Header header = readHeader(reader, data.size());
    const auto transform = ColourTransform::toSrgb(describeColours(reader), sourcePixels(header));
    const RowLayout layout = askForRows(reader, header, transform.has_value());
    allocate.expect(bitmapBytes(header.width, header.height) +
                    layout.bytes * layout.scratchRows(header.height));
    const DecodeTarget target = allocate(
        static_cast<int>(header.width), static_cast<int>(header.height), TargetPixels::Overwritten);
    readRows(reader, header.height, layout, transform, target);
}

} // namespace platform
