#pragma once

#include "platform/gdi/gdi.h"

#include <QString>
#include <memory>

namespace platform {

// A loaded picture: it owns one GDI bitmap, whose handle is its default property.
class Picture {
public:
    explicit Picture(gdi::HBITMAP bitmap) noexcept : bitmap_(bitmap) {}
    ~Picture();
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    gdi::HBITMAP Handle() const noexcept { return bitmap_; }

private:
    gdi::HBITMAP bitmap_;
};

using PictureDisp = std::shared_ptr<Picture>;

// Loads a picture file (JPEG, BMP/DIB, GIF, PNG and the formats of the installed image plugins).
// Throws RuntimeError: 481 when the content is not a picture the loader can decode, 53 when the
// file does not exist, 75 when it cannot be opened or read, 7 when memory runs out.
PictureDisp LoadPicture(const QString& path);

} // namespace platform
