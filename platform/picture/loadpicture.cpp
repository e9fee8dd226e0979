#include "platform/picture/loadpicture.h"

#include "platform/errors/runtimeerror.h"
#include "platform/picture/decodedpicture.h"
#include "platform/picture/picturefile.h"

#include <new>

namespace platform {

PictureDisp LoadPicture(const QString& path) {
    try {
        return adoptPicture(decodeToMemory(readPictureFile(path)));
    } catch (const std::bad_alloc&) {
        raise(ErrOutOfMemory);
    }
}

} // namespace platform
