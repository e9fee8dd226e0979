#include "platform/picture/picturedecoder.h"

#include "platform/errors/runtimeerror.h"
#include "platform/picture/bmpdecoder.h"
#include "platform/picture/heifcontainer.h"
#include "platform/picture/heifdecoder.h"
#include "platform/picture/imagereaderdecoder.h"
#include "platform/picture/jpegdecoder.h"
#include "platform/picture/jpegheader.h"
#include "platform/picture/pngdecoder.h"

namespace platform {

void decodePicture(std::span<const std::uint8_t> data, const TargetAllocator& allocate) {
    if (data.empty())
        raise(ErrInvalidPicture);
    if (looksLikeJpeg(data))
        decodeJpeg(data, allocate);
    else if (looksLikePng(data))
        decodePng(data, allocate);
    else if (looksLikeHeif(data))
        decodeHeif(data, allocate);
    else if (looksLikeBmp(data))
        decodeBmp(data, allocate);
    else
        decodeWithImageReader(data, allocate);
}

} // namespace platform
