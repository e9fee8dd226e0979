#include "platform/gdi/gdi.h"

#include "platform/gdi/gdiobjects.h"

#include <cstring>
#include <limits>
#include <new>

namespace gdi {

using detail::Bitmap;
using detail::DeviceContext;
using detail::objects;

namespace {

// The desktop window is the one window this layer knows; it is not an object of the table.
constexpr HWND kDesktopWindow = 0x10;

using Contents = PixelMemory::Contents;

std::int64_t strideOf(std::int32_t width, int bitsPerPixel) {
    return (std::int64_t{width} * bitsPerPixel + 31) / 32 * 4;
}

// Pixel memory for a bitmap of the given size and format: zeroed, or for Undefined only the row
// padding. Empty when the size is impossible or the memory cannot be had.
PixelMemory bitmapPixels(std::int32_t width, std::int32_t height, int bitsPerPixel,
                         Contents contents) {
    if (width <= 0 || height <= 0)
        return {};
    const std::int64_t stride = strideOf(width, bitsPerPixel);
    const std::int64_t bytes = stride * height;
    if (bytes > std::numeric_limits<std::int32_t>::max())
        return {};
    PixelMemory memory = PixelMemory::allocate(static_cast<std::size_t>(bytes), contents);
    // The padding is nobody's to write: it never carries bytes of an earlier bitmap.
    const auto rowBytes = static_cast<std::size_t>((std::int64_t{width} * bitsPerPixel + 7) / 8);
    if (memory && contents == Contents::Undefined && rowBytes < static_cast<std::size_t>(stride)) {
        for (std::int32_t row = 0; row < height; ++row)
            std::memset(memory.data() + static_cast<std::size_t>(row) * stride + rowBytes, 0,
                        static_cast<std::size_t>(stride) - rowBytes);
    }
    return memory;
}

// A bitmap of the given size and format over memory made for it by bitmapPixels; 0 when there is
// none.
HBITMAP addBitmap(std::int32_t width, std::int32_t height, int bitsPerPixel, bool topDown,
                  bool isDibSection, PixelMemory memory) {
    if (!memory)
        return 0;
    Bitmap bitmap;
    bitmap.width = width;
    bitmap.height = height;
    bitmap.bitsPerPixel = bitsPerPixel;
    bitmap.topDown = topDown;
    bitmap.stride = static_cast<std::int32_t>(strideOf(width, bitsPerPixel));
    bitmap.isDibSection = isDibSection;
    bitmap.memory = std::move(memory);
    try {
        return objects().add(std::move(bitmap));
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

HBITMAP makeBitmap(std::int32_t width, std::int32_t height, int bitsPerPixel, bool topDown,
                   bool isDibSection, Contents contents = Contents::Zeroed) {
    return addBitmap(width, height, bitsPerPixel, topDown, isDibSection,
                     bitmapPixels(width, height, bitsPerPixel, contents));
}

bool isDc(HDC hdc) {
    return objects().dc(hdc) != nullptr;
}

} // namespace

HDC CreateCompatibleDC(HDC hdc) {
    if (hdc != 0 && !isDc(hdc))
        return 0;
    try {
        return objects().add(DeviceContext{false, objects().stockBitmap()});
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

bool DeleteDC(HDC hdc) {
    DeviceContext* const dc = objects().dc(hdc);
    if (!dc || dc->screen)
        return false; // a borrowed screen DC goes back through ReleaseDC
    // The bitmap it held is free again and may now be deleted.
    if (Bitmap* const held = objects().bitmap(dc->selected); held && !held->stock)
        held->selectedInto = 0;
    objects().remove(hdc);
    return true;
}

HWND GetDesktopWindow() {
    return kDesktopWindow;
}

HDC GetDC(HWND hwnd) {
    if (hwnd != 0 && hwnd != kDesktopWindow)
        return 0;
    try {
        return objects().add(DeviceContext{true, 0});
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

int ReleaseDC(HWND hwnd, HDC hdc) {
    if (hwnd != 0 && hwnd != kDesktopWindow)
        return 0;
    const DeviceContext* const dc = objects().dc(hdc);
    if (!dc || !dc->screen)
        return 0;
    objects().remove(hdc);
    return 1;
}

namespace {

bool validDibHeader(const BITMAPINFOHEADER* header) {
    return header && header->biSize >= sizeof(BITMAPINFOHEADER) && header->biPlanes == 1 &&
           header->biCompression == BI_RGB &&
           (header->biBitCount == 24 || header->biBitCount == 32) &&
           header->biHeight != std::numeric_limits<std::int32_t>::min();
}

std::int32_t rowsOf(const BITMAPINFOHEADER& header) {
    return header.biHeight < 0 ? -header.biHeight : header.biHeight;
}

HBITMAP addDibSection(const BITMAPINFOHEADER& header, PixelMemory memory, void** bits) {
    const HBITMAP handle = addBitmap(header.biWidth, rowsOf(header), header.biBitCount,
                                     header.biHeight < 0, true, std::move(memory));
    if (handle && bits)
        *bits = objects().bitmap(handle)->memory.data();
    return handle;
}

HBITMAP makeDibSection(const BITMAPINFOHEADER* header, void** bits, Contents contents) {
    if (bits)
        *bits = nullptr;
    if (!validDibHeader(header))
        return 0;
    return addDibSection(
        *header, bitmapPixels(header->biWidth, rowsOf(*header), header->biBitCount, contents),
        bits);
}

} // namespace

HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFOHEADER* header, std::uint32_t usage, void** bits,
                         HANDLE section, std::uint32_t offset) {
    if ((hdc != 0 && !isDc(hdc)) || usage != DIB_RGB_COLORS || section != 0 || offset != 0) {
        if (bits)
            *bits = nullptr;
        return 0;
    }
    return makeDibSection(header, bits, Contents::Zeroed);
}

HBITMAP CreateDIBSectionToOverwrite(const BITMAPINFOHEADER* header, void** bits) {
    return makeDibSection(header, bits, Contents::Undefined);
}

PixelMemory AllocateDIBPixels(const BITMAPINFOHEADER* header, PixelMemory::Contents contents) {
    if (!validDibHeader(header))
        return {};
    return bitmapPixels(header->biWidth, rowsOf(*header), header->biBitCount, contents);
}

HBITMAP AdoptDIBSection(const BITMAPINFOHEADER* header, PixelMemory memory, void** bits) {
    if (bits)
        *bits = nullptr;
    if (!validDibHeader(header) || header->biWidth <= 0 || header->biHeight == 0 ||
        memory.size() != static_cast<std::size_t>(strideOf(header->biWidth, header->biBitCount) *
                                                  rowsOf(*header)))
        return 0;
    return addDibSection(*header, std::move(memory), bits);
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height) {
    if (!isDc(hdc))
        return 0;
    return makeBitmap(width, height, 32, true, false);
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
    DeviceContext* const dc = objects().dc(hdc);
    Bitmap* const bitmap = objects().bitmap(object);
    if (!dc || dc->screen || !bitmap || bitmap->onClipboard)
        return 0;
    if (!bitmap->stock && bitmap->selectedInto != 0 && bitmap->selectedInto != hdc)
        return 0; // a bitmap lives in one DC at a time
    const HBITMAP previous = dc->selected;
    if (Bitmap* const old = objects().bitmap(previous); old && !old->stock)
        old->selectedInto = 0;
    dc->selected = object;
    if (!bitmap->stock)
        bitmap->selectedInto = hdc;
    return previous;
}

bool DeleteObject(HGDIOBJ object) {
    const Bitmap* const bitmap = objects().bitmap(object);
    if (!bitmap || bitmap->stock || bitmap->selectedInto != 0 || bitmap->onClipboard)
        return false;
    objects().remove(object);
    return true;
}

int GetObjectA(HGDIOBJ object, int size, void* buffer) {
    const Bitmap* const bitmap = objects().bitmap(object);
    if (!bitmap)
        return 0;
    constexpr int needed = sizeof(BITMAP);
    if (!buffer)
        return needed;
    if (size < needed)
        return 0;
    BITMAP description;
    description.bmType = 0;
    description.bmWidth = bitmap->width;
    description.bmHeight = bitmap->height;
    description.bmWidthBytes = bitmap->stride;
    description.bmPlanes = 1;
    description.bmBitsPixel = static_cast<std::uint16_t>(bitmap->bitsPerPixel);
    description.bmBits = bitmap->isDibSection ? bitmap->memory.data() : nullptr;
    std::memcpy(buffer, &description, sizeof description);
    return needed;
}

int liveObjectCount() {
    return objects().liveCount();
}

} // namespace gdi
