#include "platform/picturedecoder.h"

#include "platform/bmpdecoder.h"
#include "platform/imagereaderdecoder.h"
#include "platform/jpegdecoder.h"
#include "platform/jpegheader.h"
#include "platform/runtimeerror.h"

namespace platform {

void decodePicture(std::span<const std::uint8_t> data, const TargetAllocator& allocate) {
    if (data.empty())
        raise(ErrInvalidPicture);
    if (looksLikeJpeg(data))
        decodeJpeg(data, allocate);
    else if (looksLikeBmp(data))
        decodeBmp(data, allocate);
    else
        decodeWithImageReader(data, allocate);
}

} // namespace platform
