#include "platform/picture/picturedecoder.h"

#include "platform/errors/runtimeerror.h"
#include "platform/picture/bmpdecoder.h"
#include "platform/picture/heifdecoder.h"
#include "platform/picture/imagereaderdecoder.h"
#include "platform/picture/jpegdecoder.h"
#include "platform/picture/pictureformat.h"
#include "platform/picture/pngdecoder.h"
#include "platform/picture/tgadecoder.h"

#include <mutex>

namespace platform {

void prepareDecoders() {
    static std::once_flag once;
    std::call_once(once, [] {
        prepareImageReaders();
        prepareHeifDecoding();
    });
}

void decodePicture(std::span<const std::uint8_t> data, const TargetAllocator& allocate) {
    switch (const PictureFormat format = pictureFormat(data)) {
    case PictureFormat::Jpeg:
        return decodeJpeg(data, allocate);
    case PictureFormat::Png:
        return decodePng(data, allocate);
    case PictureFormat::Bmp:
        return decodeBmp(data, allocate);
    case PictureFormat::Heif:
        return decodeHeif(data, allocate);
    case PictureFormat::Tga:
        return decodeTga(data, allocate);
    case PictureFormat::Gif:
    case PictureFormat::Tiff:
    case PictureFormat::WebP:
    case PictureFormat::Ico:
    case PictureFormat::Pnm:
        return decodeWithImageReader(data, format, allocate);
    case PictureFormat::None:
        break;
    }
    raise(ErrInvalidPicture);
}

} // namespace platform
