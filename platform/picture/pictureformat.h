#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace platform {

// The formats the loader tells apart, each with its own decoder.
enum class PictureFormat {
    None, // not a picture the loader decodes
    Jpeg, // the JPEG library
    Bmp,  // our own reader of Windows and OS/2 bitmaps
    Png,  // libpng
    Heif, // libheif: HEIC and AVIF
    Tga,  // our own reader
    // Qt's image readers, each asked for by name: no other plugin ever sees a file.
    Gif,
    Tiff,
    WebP,
    Ico,
    Pnm,
};

// How many of a file's first bytes decide its format.
constexpr std::size_t FormatHeadBytes = 4096;

// The format of a file that starts with `head` (its first FormatHeadBytes bytes, or all of a
// shorter file), decided by magic numbers and file-type brands, never by the name; TGA, which has
// neither, by a header that fits throughout, after every other format.
PictureFormat pictureFormat(std::span<const std::uint8_t> head);

// The largest file a picture of the format can sensibly be: the largest picture the loader takes,
// stored as loosely as the format allows, with room for metadata. A larger file is no picture.
std::int64_t largestPictureFile(PictureFormat format);

} // namespace platform
