#include "platform/picture/heifdecoder.h"

#include "platform/colour/colourtransform.h"
#include "platform/errors/runtimeerror.h"
#include "platform/picture/heifcontainer.h"
#include "platform/picture/onwhite.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <libheif/heif.h>
#include <limits>
#include <malloc.h>
#include <memory>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

namespace platform {

namespace {

// libheif's records, each given back the way it wants.
struct Release {
    void operator()(heif_context* context) const { heif_context_free(context); }
    void operator()(const heif_image_handle* handle) const { heif_image_handle_release(handle); }
    void operator()(const heif_image* image) const { heif_image_release(image); }
    void operator()(heif_color_profile_nclx* nclx) const { heif_nclx_color_profile_free(nclx); }
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};
template <class Record> using Owned = std::unique_ptr<Record, Release>;

// libheif refuses pictures wider or higher than this before it takes memory for them (no JPEG
// file holds more); their number of pixels is checked on top (checkPictureSize).
constexpr int LongestSide = 1 << 16;

// libheif's own decoding threads for a grid's tiles on this thread; below 0: its default.
thread_local int decodingThreads = -1;

// The most a decode holds at once: the bitmap, libheif's planar red, green and blue (one or two
// bytes a sample) of the coded picture, and the HEVC or AV1 decoder's frames beside them.
std::size_t decodingBytes(const heif_image_handle* handle, bool deep) {
    const std::int64_t shown = heif_image_handle_get_width(handle);
    const std::int64_t shownHeight = heif_image_handle_get_height(handle);
    const std::int64_t coded = std::int64_t{heif_image_handle_get_ispe_width(handle)} *
                               heif_image_handle_get_ispe_height(handle);
    const std::int64_t sample = deep ? 2 : 1;
    // Measured: the coded frames and their conversion take about three times the planes' size
    // while the planes are made.
    return bitmapBytes(shown, shownHeight) + static_cast<std::size_t>(coded * 3 * sample * 2);
}

void check(const heif_error& error) {
    if (error.code == heif_error_Ok)
        return;
    const bool memory = error.code == heif_error_Memory_allocation_error &&
                        error.subcode != heif_suberror_Security_limit_exceeded;
    throw RuntimeError(memory ? ErrOutOfMemory : ErrInvalidPicture,
                       QString::fromUtf8(error.message ? error.message : ""));
}

ColourDescription describeColours(const heif_image_handle* handle) {
    ColourDescription colour;
    // The profile's length is that of its box, which lies within the file (checkHeifBoxes).
    if (const std::size_t bytes = heif_image_handle_get_raw_color_profile_size(handle)) {
        colour.icc.resize(bytes);
        if (heif_image_handle_get_raw_color_profile(handle, colour.icc.data()).code !=
            heif_error_Ok)
            colour.icc.clear();
    }
    // libheif hands over the record even when it refuses the code points in it.
    heif_color_profile_nclx* described = nullptr;
    const heif_error error = heif_image_handle_get_nclx_color_profile(handle, &described);
    const Owned<heif_color_profile_nclx> nclx(described);
    if (error.code == heif_error_Ok && nclx)
        colour.nclx = NclxColour{nclx->color_primaries, nclx->transfer_characteristics};
    return colour;
}

// Where each pixel of the picture as shown lies in the decoded one: pixel (x, y) is the decoded
// pixel (x0 + x * xdx + y * ydx, y0 + x * xdy + y * ydy). Turns, mirrors and crops only move that
// mapping, so every shown pixel stays within the decoded picture.
struct Geometry {
    int width = 0;
    int height = 0;
    int x0 = 0, y0 = 0;
    int xdx = 1, xdy = 0, ydx = 0, ydy = 1;

    void moveOrigin(int x, int y) {
        x0 += x * xdx + y * ydx;
        y0 += x * xdy + y * ydy;
    }
    // A step to the right becomes a step down the picture as it was, a step down one to the left.
    void turnAnticlockwise() {
        moveOrigin(width - 1, 0);
        const int right[] = {xdx, xdy};
        xdx = ydx;
        xdy = ydy;
        ydx = -right[0];
        ydy = -right[1];
        std::swap(width, height);
    }
    void mirrorLeftRight() {
        moveOrigin(width - 1, 0);
        xdx = -xdx;
        xdy = -xdy;
    }
    void mirrorUpsideDown() {
        moveOrigin(0, height - 1);
        ydx = -ydx;
        ydy = -ydy;
    }
    // The clean aperture: centred at the picture's centre plus its offsets, its edges rounded to
    // whole pixels and kept within the picture. One that gives no size is left out.
    void crop(const HeifTransformation::Aperture& aperture) {
        std::array<double, 4> value{};
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (aperture[i].second <= 0)
                return;
            value[i] =
                static_cast<double>(aperture[i].first) / static_cast<double>(aperture[i].second);
        }
        const auto edges = [](double size, double offset, int whole) {
            const double first = std::round(offset + (whole - 1) / 2.0 - (size - 1) / 2.0);
            const double start = std::clamp(first, 0.0, whole - 1.0);
            return std::pair{static_cast<int>(start),
                             static_cast<int>(std::clamp(std::round(size), 1.0, whole - start))};
        };
        if (value[0] < 1 || value[1] < 1)
            return;
        const auto [left, columns] = edges(value[0], value[2], width);
        const auto [top, rows] = edges(value[1], value[3], height);
        moveOrigin(left, top);
        width = columns;
        height = rows;
    }
};

Geometry shown(int width, int height, const std::vector<HeifTransformation>& transformations) {
    Geometry geometry{width, height};
    for (const HeifTransformation& step : transformations) {
        for (int turn = 0; turn < step.quarterTurns; ++turn)
            geometry.turnAnticlockwise();
        if (step.mirror == HeifTransformation::LeftRight)
            geometry.mirrorLeftRight();
        else if (step.mirror == HeifTransformation::UpsideDown)
            geometry.mirrorUpsideDown();
        if (step.crop)
            geometry.crop(step.aperture);
    }
    return geometry;
}

// One plane of the picture as shown: 8-bit samples, or 16-bit ones that hold up to 16 bits.
struct Plane {
    const std::uint8_t* origin = nullptr; // the top-left sample
    std::ptrdiff_t step = 0;              // bytes to the next sample of a row
    std::ptrdiff_t rowStep = 0;           // bytes to the row below
    bool deep = false;
    std::uint32_t max = 0; // the brightest sample: 255 for 8 bits, 1023 for 10, ...

    const std::uint8_t* row(int y) const { return origin + rowStep * y; }
    std::uint32_t at(int x, int y) const {
        const std::uint8_t* sample = row(y) + step * x;
        return deep ? *reinterpret_cast<const std::uint16_t*>(sample) : *sample;
    }
    // Whether the samples of a row lie side by side, left to right.
    bool plain() const { return step == (deep ? 2 : 1); }
};

Plane plane(const heif_image* image, heif_channel channel, const Geometry& shown, int width,
            int height) {
    int stride = 0;
    const std::uint8_t* bits = heif_image_get_plane_readonly(image, channel, &stride);
    const int range = heif_image_get_bits_per_pixel_range(image, channel);
    const bool deep = heif_image_get_bits_per_pixel(image, channel) == 16;
    if (!bits || range < 1 || range > (deep ? 16 : 8) ||
        (!deep && heif_image_get_bits_per_pixel(image, channel) != 8) ||
        stride < width * (deep ? 2 : 1) || heif_image_get_width(image, channel) < width ||
        heif_image_get_height(image, channel) < height)
        raise(ErrInvalidPicture);
    const std::ptrdiff_t sample = deep ? 2 : 1, row = stride;
    return {bits + shown.y0 * row + shown.x0 * sample, shown.xdx * sample + shown.xdy * row,
            shown.ydx * sample + shown.ydy * row, deep, (std::uint32_t{1} << range) - 1};
}

// The picture as shown, as red, green and blue planes of one depth, and maybe an alpha plane.
struct Planes {
    int width = 0;
    int height = 0;
    std::array<Plane, 3> colours;
    std::optional<Plane> alpha;
    bool premultiplied = false;

    // The decoded picture with `transformations` applied (none: as decoded).
    Planes(const heif_image* image, const std::vector<HeifTransformation>& transformations) {
        const int decodedWidth = heif_image_get_primary_width(image);
        const int decodedHeight = heif_image_get_primary_height(image);
        const Geometry geometry = shown(decodedWidth, decodedHeight, transformations);
        width = geometry.width;
        height = geometry.height;
        const auto take = [&](heif_channel channel) {
            return plane(image, channel, geometry, decodedWidth, decodedHeight);
        };
        colours = {take(heif_channel_R), take(heif_channel_G), take(heif_channel_B)};
        if (colours[1].max != colours[0].max || colours[2].max != colours[0].max)
            raise(ErrInvalidPicture);
        if (heif_image_has_channel(image, heif_channel_Alpha)) {
            alpha = take(heif_channel_Alpha);
            premultiplied = heif_image_is_premultiplied_alpha(const_cast<heif_image*>(image));
        }
    }

    bool plain() const {
        return std::all_of(colours.begin(), colours.end(),
                           [](const Plane& p) { return p.plain(); });
    }
};

// Row y of an opaque picture whose rows lie as decoded, as three samples a pixel (blue-green-red,
// or red-green-blue), each mapped through `levels` or, without them, taken as it is: the common
// case, kept lean.
template <class In, class Out>
void writeOpaqueRow(const Planes& planes, int y, const std::uint16_t* levels, bool bgr, Out* out) {
    const auto row = [&](std::size_t colour) {
        return reinterpret_cast<const In*>(planes.colours[bgr ? 2 - colour : colour].row(y));
    };
    const In* first = row(0);
    const In* second = row(1);
    const In* third = row(2);
    if (levels) {
        for (int x = 0; x < planes.width; ++x, out += 3) {
            out[0] = static_cast<Out>(levels[first[x]]);
            out[1] = static_cast<Out>(levels[second[x]]);
            out[2] = static_cast<Out>(levels[third[x]]);
        }
    } else {
        for (int x = 0; x < planes.width; ++x, out += 3) {
            out[0] = static_cast<Out>(first[x]);
            out[1] = static_cast<Out>(second[x]);
            out[2] = static_cast<Out>(third[x]);
        }
    }
}

// Writes row y as three samples a pixel, in blue-green-red order or red-green-blue, alpha laid
// onto white; `levels` maps a sample to the output's range (empty: it is that range already).
template <class Out>
void writeRow(const Planes& planes, int y, const std::vector<std::uint16_t>& levels, bool bgr,
              Out* out) {
    const std::uint16_t* mapped = levels.empty() ? nullptr : levels.data();
    if (!planes.alpha && planes.plain()) {
        return planes.colours[0].deep ? writeOpaqueRow<std::uint16_t>(planes, y, mapped, bgr, out)
                                      : writeOpaqueRow<std::uint8_t>(planes, y, mapped, bgr, out);
    }
    const std::uint32_t max = planes.colours[0].max;
    for (int x = 0; x < planes.width; ++x, out += 3) {
        const std::uint32_t alpha =
            planes.alpha ? rescale(planes.alpha->at(x, y), planes.alpha->max, max) : max;
        for (int c = 0; c < 3; ++c) {
            const std::uint32_t sample =
                planes.colours[static_cast<std::size_t>(bgr ? 2 - c : c)].at(x, y);
            const std::uint32_t shown = planes.premultiplied ? std::min(sample + max - alpha, max)
                                                             : onWhite(sample, alpha, max);
            out[c] = static_cast<Out>(mapped ? mapped[shown] : shown);
        }
    }
}

// What each sample of 0 to `max` becomes in 0 to `levels`; nothing to do when they are the same.
std::vector<std::uint16_t> levelTable(std::uint32_t max, std::uint32_t levels) {
    std::vector<std::uint16_t> table;
    if (max != levels) {
        table.resize(max + 1);
        for (std::uint32_t sample = 0; sample <= max; ++sample)
            table[sample] = static_cast<std::uint16_t>(rescale(sample, max, levels));
    }
    return table;
}

// Hands the rows to the colour transform: 8-bit samples as they are, deeper ones stretched to
// 16 bits.
template <class Sample>
void transformRows(const Planes& planes, const ColourTransform& transform,
                   const DecodeTarget& target) {
    const auto levels = levelTable(planes.colours[0].max, std::numeric_limits<Sample>::max());
    std::vector<Sample> row(static_cast<std::size_t>(planes.width) * 3);
    for (int y = 0; y < planes.height; ++y) {
        writeRow(planes, y, levels, false, row.data());
        transform.convertRow(row.data(), target.row(y), planes.width);
    }
}

// Planar red, green and blue: libheif reaches them from the coded planes without a step between,
// which interleaved samples would take (and twice the memory for it). Also the picture as coded,
// without its turns, mirrors and crops.
std::pair<Owned<const heif_image>, heif_error> decodePlanes(const heif_image_handle* handle,
                                                            bool asCoded) {
    const Owned<heif_decoding_options> options(heif_decoding_options_alloc());
    if (!options)
        raise(ErrOutOfMemory);
    options->ignore_transformations = asCoded;
    heif_image* decoded = nullptr;
    const heif_error error =
        heif_decode_image(handle, &decoded, heif_colorspace_RGB, heif_chroma_444, options.get());
    return {Owned<const heif_image>(decoded), error};
}

} // namespace

void setHeifDecodingThreads(int threads) {
    decodingThreads = threads;
}

void prepareHeifDecoding() {
    // libheif registers its codecs when its first context is made.
    heif_context_free(heif_context_alloc());
}

void decodeHeif(std::span<const std::uint8_t> data, const TargetAllocator& allocate) {
    if (!looksLikeHeif(data))
        raise(ErrInvalidPicture);
    checkHeifBoxes(data);
    const Owned<heif_context> context(heif_context_alloc());
    if (!context)
        raise(ErrOutOfMemory);
    heif_context_set_maximum_image_size_limit(context.get(), LongestSide);
    if (decodingThreads >= 0)
        heif_context_set_max_decoding_threads(context.get(), decodingThreads);
    check(heif_context_read_from_memory_without_copy(context.get(), data.data(), data.size(),
                                                     nullptr));
    // Whatever libheif hands over is owned before its result is looked at.
    heif_image_handle* primary = nullptr;
    const heif_error found = heif_context_get_primary_image_handle(context.get(), &primary);
    const Owned<const heif_image_handle> handle(primary);
    check(found);
    // The picture as shown, and as coded before cropping and turning.
    checkPictureSize(heif_image_handle_get_width(primary), heif_image_handle_get_height(primary),
                     data.size());
    checkPictureSize(heif_image_handle_get_ispe_width(primary),
                     heif_image_handle_get_ispe_height(primary), data.size());

    const bool deep = heif_image_handle_get_luma_bits_per_pixel(primary) > 8;
    allocate.expect(decodingBytes(primary, deep));
    const ColourDescription colour = describeColours(primary);
    const auto transform =
        ColourTransform::toSrgb(colour, deep ? SourcePixels::Rgb16 : SourcePixels::Rgb8);

    std::vector<HeifTransformation> ownTransformations;
    auto [image, error] = decodePlanes(primary, false);
    // libheif mirrors only 8-bit pictures as it decodes them (deeper ones it turns and crops); a
    // deeper one it cannot mirror is taken as coded, and its turns, mirrors and crops are applied
    // here as its rows are read.
    if (deep && error.code == heif_error_Unsupported_feature) {
        heif_item_id id = 0;
        check(heif_context_get_primary_image_ID(context.get(), &id));
        ownTransformations = heifTransformations(data, id);
        std::tie(image, error) = decodePlanes(primary, true);
    }
    check(error);
    // The HEVC decoder's working memory (several times the coded planes) is free again, but the
    // allocator keeps it for the next request; given back now, it does not stay resident beside
    // the bitmap that is taken next.
    malloc_trim(0);
    const Planes planes(image.get(), ownTransformations);
    checkPictureSize(planes.width, planes.height, data.size());

    const DecodeTarget target = allocate(planes.width, planes.height, TargetPixels::Overwritten);
    if (!transform) {
        const auto levels = levelTable(planes.colours[0].max, 255);
        for (int y = 0; y < planes.height; ++y)
            writeRow(planes, y, levels, true, target.row(y));
    } else if (deep) {
        transformRows<std::uint16_t>(planes, *transform, target);
    } else {
        transformRows<std::uint8_t>(planes, *transform, target);
    }
}

} // namespace platform
