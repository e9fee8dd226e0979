#include "platform/picture/decodedpicture.h"

#include "platform/errors/runtimeerror.h"
#include "platform/gdi/gdihandles.h"
#include "platform/picture/picturedecoder.h"

#include <atomic>
#include <utility>

namespace platform {

namespace {

std::atomic<int> decodes{0};

// A bottom-up 24-bit DIB section of the picture's size: the image buffer has the same layout, so
// its transfer from the picture is a plain copy of rows.
gdi::BITMAPINFOHEADER bitmapHeader(int width, int height) {
    gdi::BITMAPINFOHEADER header;
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = gdi::BI_RGB;
    header.biSizeImage = static_cast<std::uint32_t>(bitmapBytes(width, height));
    return header;
}

} // namespace

DecodedPicture decodeToMemory(std::span<const std::uint8_t> data, TargetAllocator::Expect expect) {
    decodes.fetch_add(1, std::memory_order_relaxed);
    DecodedPicture decoded;
    bool expected = false;
    const TargetAllocator allocate(
        [&](int width, int height, TargetPixels pixels) {
            checkPictureSize(width, height, data.size());
            // A decoder that did not say what it needs takes at least the picture.
            if (!expected && expect)
                expect(bitmapBytes(width, height));
            const gdi::BITMAPINFOHEADER header = bitmapHeader(width, height);
            decoded.pixels = gdi::AllocateDIBPixels(
                &header, pixels == TargetPixels::Overwritten ? gdi::PixelMemory::Contents::Undefined
                                                             : gdi::PixelMemory::Contents::Zeroed);
            if (!decoded.pixels)
                raise(ErrOutOfMemory);
            decoded.width = width;
            decoded.height = height;
            return DecodeTarget{decoded.pixels.data(), width, height, bgrStride(width)};
        },
        [&](std::size_t bytes) {
            expected = true;
            if (expect)
                expect(bytes);
        });
    decodePicture(data, allocate);
    if (!decoded.pixels)
        raise(ErrInvalidPicture);
    return decoded;
}

PictureDisp adoptPicture(DecodedPicture decoded) {
    const gdi::BITMAPINFOHEADER header = bitmapHeader(decoded.width, decoded.height);
    void* bits = nullptr;
    gdi::OwnedBitmap bitmap(gdi::AdoptDIBSection(&header, std::move(decoded.pixels), &bits));
    if (!bitmap)
        raise(ErrOutOfMemory);
    auto picture = std::make_shared<Picture>(bitmap.get());
    bitmap.release(); // the picture's now
    return picture;
}

namespace hooks {

int picturesDecoded() {
    return decodes.load();
}

} // namespace hooks

} // namespace platform
