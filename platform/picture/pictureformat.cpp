#include "platform/picture/pictureformat.h"

#include "platform/picture/bmpdecoder.h"
#include "platform/picture/decodetarget.h"
#include "platform/picture/heifcontainer.h"
#include "platform/picture/imagereaderdecoder.h"
#include "platform/picture/jpegheader.h"
#include "platform/picture/pngdecoder.h"
#include "platform/picture/tgadecoder.h"

#include <algorithm>

namespace platform {

PictureFormat pictureFormat(std::span<const std::uint8_t> head) {
    head = head.first(std::min(head.size(), FormatHeadBytes));
    if (looksLikeJpeg(head))
        return PictureFormat::Jpeg;
    if (looksLikePng(head))
        return PictureFormat::Png;
    if (looksLikeBmp(head))
        return PictureFormat::Bmp;
    if (looksLikeHeif(head))
        return PictureFormat::Heif;
    // Any other file-type box is a video or another container, whatever its next bytes say.
    if (head.size() >= 8 && head[4] == 'f' && head[5] == 't' && head[6] == 'y' && head[7] == 'p')
        return PictureFormat::None;
    if (const PictureFormat format = imageReaderFormat(head); format != PictureFormat::None)
        return format;
    if (looksLikeTga(head))
        return PictureFormat::Tga;
    return PictureFormat::None;
}

std::int64_t largestPictureFile(PictureFormat format) {
    // Lossy coders spend far less than 4 bytes on a pixel; lossless ones at most 8 (16-bit
    // RGBA left uncompressed, as TIFF and PNG may).
    constexpr std::int64_t Metadata = std::int64_t{64} << 20;
    switch (format) {
    case PictureFormat::None:
        return 0;
    case PictureFormat::Jpeg:
    case PictureFormat::Heif:
        return MaxPicturePixels * 4 + Metadata;
    case PictureFormat::Bmp:
    case PictureFormat::Png:
    case PictureFormat::Tga:
    case PictureFormat::Gif:
    case PictureFormat::Tiff:
    case PictureFormat::WebP:
    case PictureFormat::Ico:
    case PictureFormat::Pnm:
        return MaxPicturePixels * 8 + Metadata;
    }
    return 0;
}

} // namespace platform
