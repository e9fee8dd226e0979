#include "platform/picture/loadpicture.h"

#include "platform/errors/runtimeerror.h"
#include "platform/picture/decodetarget.h"
#include "platform/picture/picturedecoder.h"
#include "platform/picture/picturefile.h"

#include <new>

namespace platform {

namespace {

// A bottom-up 24-bit DIB section of the picture's size: the image buffer has the same layout, so
// its transfer from the picture is a plain copy of rows.
DecodeTarget createBitmap(int width, int height, TargetPixels pixels, PictureDisp& picture) {
    gdi::BITMAPINFOHEADER header;
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = gdi::BI_RGB;
    header.biSizeImage = static_cast<std::uint32_t>(bgrStride(width) * height);
    void* bits = nullptr;
    const gdi::HBITMAP bitmap =
        pixels == TargetPixels::Overwritten
            ? gdi::CreateDIBSectionToOverwrite(&header, &bits)
            : gdi::CreateDIBSection(0, &header, gdi::DIB_RGB_COLORS, &bits, 0, 0);
    if (!bitmap)
        raise(ErrOutOfMemory);
    try {
        picture = std::make_shared<Picture>(bitmap);
    } catch (...) {
        gdi::DeleteObject(bitmap);
        throw;
    }
    gdi::BITMAP description;
    if (gdi::GetObjectA(bitmap, sizeof description, &description) == 0 || !bits)
        raise(ErrOutOfMemory);
    return {static_cast<std::uint8_t*>(bits), width, height,
            static_cast<std::size_t>(description.bmWidthBytes)};
}

} // namespace

PictureDisp LoadPicture(const QString& path) {
    try {
        const auto data = readPictureFile(path);
        // The picture owns the bitmap from the moment it exists: a decoder that fails after
        // asking for it leaves nothing behind.
        PictureDisp picture;
        decodePicture(data, [&](int width, int height, TargetPixels pixels) {
            checkPictureSize(width, height, data.size());
            return createBitmap(width, height, pixels, picture);
        });
        if (!picture)
            raise(ErrInvalidPicture);
        return picture;
    } catch (const std::bad_alloc&) {
        raise(ErrOutOfMemory);
    }
}

} // namespace platform
