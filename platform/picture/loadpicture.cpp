#include "platform/picture/loadpicture.h"

#include "platform/errors/runtimeerror.h"
#include "platform/picture/decodedpicture.h"
#include "platform/picture/picturefile.h"
#include "platform/picture/readahead.h"

#include <new>

namespace platform {

PictureDisp LoadPicture(const QString& path) {
    try {
        std::optional<DecodedPicture> decoded = takeReadAhead(path);
        if (!decoded)
            decoded = decodeToMemory(readPictureFile(path));
        return adoptPicture(std::move(*decoded));
    } catch (const std::bad_alloc&) {
        raise(ErrOutOfMemory);
    }
}

} // namespace platform
