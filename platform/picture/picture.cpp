#include "platform/picture/picture.h"

namespace platform {

Picture::~Picture() {
    if (bitmap_)
        gdi::DeleteObject(bitmap_);
}

} // namespace platform
