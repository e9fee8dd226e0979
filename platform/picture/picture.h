#pragma once

#include "platform/gdi/gdihandles.h"

#include <memory>

namespace platform {

// A loaded picture: it owns one GDI bitmap, whose handle is its default property.
class Picture {
public:
    explicit Picture(gdi::HBITMAP bitmap) noexcept : bitmap_(bitmap) {}

    gdi::HBITMAP Handle() const noexcept { return bitmap_.get(); }

private:
    gdi::OwnedBitmap bitmap_;
};

using PictureDisp = std::shared_ptr<Picture>;

} // namespace platform
