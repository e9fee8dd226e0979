#pragma once

#include "platform/gdi/gdi.h"
#include "platform/gdi/pixelmemory.h"

#include <cstdint>
#include <unordered_map>
#include <variant>

// The objects behind the drawing handles, shared by the files that implement the GDI calls.
namespace gdi::detail {

struct Bitmap {
    std::int32_t width = 0;
    std::int32_t height = 0; // rows, always positive
    int bitsPerPixel = 0;    // 24 or 32
    bool topDown = false;    // first row in memory is the top row
    std::int32_t stride = 0; // bytes per row, a multiple of 4
    PixelMemory memory;
    bool isDibSection = false;
    bool stock = false;   // shared, never deleted, selectable into any number of DCs
    HDC selectedInto = 0; // the memory DC holding it (never tracked for the stock bitmap)
    bool onClipboard = false;

    // Row y counted from the top of the picture.
    std::uint8_t* row(std::int32_t y) const noexcept {
        const std::int32_t memoryRow = topDown ? y : height - 1 - y;
        return memory.data() +
               static_cast<std::size_t>(memoryRow) * static_cast<std::size_t>(stride);
    }
};

struct DeviceContext {
    bool screen = false; // the desktop's DC: no pixels of its own, nothing can be selected into it
    HBITMAP selected = 0;
};

using Object = std::variant<Bitmap, DeviceContext>;

// The handle table. Handles are never reused, so a stale handle is recognised as such.
class ObjectTable {
public:
    ObjectTable();

    HANDLE add(Object object);
    void remove(HANDLE handle) noexcept;
    Bitmap* bitmap(HANDLE handle) noexcept;
    DeviceContext* dc(HANDLE handle) noexcept;
    HBITMAP stockBitmap() const noexcept { return stockBitmap_; }
    int liveCount() const noexcept;

private:
    std::unordered_map<HANDLE, Object> objects_;
    HANDLE next_ = 0x100;
    HBITMAP stockBitmap_ = 0;
};

ObjectTable& objects();

} // namespace gdi::detail
