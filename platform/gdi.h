#pragma once

#include <cstdint>

// The drawing services the image buffer is built on: device contexts, bitmaps and DIB sections
// addressed by handles, bit-block transfers, and the clipboard. Windows' own rules are kept where
// they catch mistakes: a bitmap selected into a device context cannot be deleted, a memory device
// context starts with a 1x1 stock bitmap, and every live object is counted.
namespace gdi {

using HANDLE = std::intptr_t;
using HGDIOBJ = HANDLE;
using HBITMAP = HANDLE;
using HDC = HANDLE;
using HWND = HANDLE;

#pragma pack(push, 1)
struct BITMAPINFOHEADER {
    std::uint32_t biSize = 0;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0; // positive: rows bottom-up; negative: top-down
    std::uint16_t biPlanes = 0;
    std::uint16_t biBitCount = 0; // 24 or 32
    std::uint32_t biCompression = 0;
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct BITMAP {
    std::int32_t bmType = 0;
    std::int32_t bmWidth = 0;
    std::int32_t bmHeight = 0;
    std::int32_t bmWidthBytes = 0;
    std::uint16_t bmPlanes = 0;
    std::uint16_t bmBitsPixel = 0;
    void* bmBits = nullptr;
};

constexpr std::uint32_t BI_RGB = 0;
constexpr std::uint32_t DIB_RGB_COLORS = 0;
constexpr std::uint32_t SRCCOPY = 0x00CC0020;
constexpr std::uint32_t CF_BITMAP = 2;
constexpr std::uint32_t CF_DIB = 8;

// Device contexts. CreateCompatibleDC(0) makes a memory DC compatible with the screen.
HDC CreateCompatibleDC(HDC hdc);
bool DeleteDC(HDC hdc);
HWND GetDesktopWindow();
HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC hdc);

// Bitmaps. A DIB section's pixel memory starts zeroed and belongs to the section.
// Only 24- and 32-bit uncompressed sections are supported; anything else yields 0.
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFOHEADER* header, std::uint32_t usage, void** bits,
                         HANDLE section, std::uint32_t offset);
// A bitmap in the screen's format (32 bits per pixel, top-down), zeroed.
HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height);
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object);
bool DeleteObject(HGDIOBJ object);
// Copies a BITMAP description of a bitmap into buffer; returns the bytes written, 0 on failure.
int GetObjectA(HGDIOBJ object, int size, void* buffer);

// Copies a rectangle between the bitmaps selected into two device contexts, combining source and
// destination by the raster-operation code (any of the 256 ternary codes; the pattern is the
// device context's white brush). Pixels outside either bitmap are clipped.
bool BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY,
            std::uint32_t rop);

// The clipboard. A bitmap handed over with SetClipboardData belongs to the clipboard afterwards.
bool OpenClipboard(HWND owner);
bool EmptyClipboard();
HANDLE SetClipboardData(std::uint32_t format, HANDLE data);
bool CloseClipboard();

// Live device contexts and bitmaps (stock objects not counted): lets tests prove nothing leaks.
int liveObjectCount();

} // namespace gdi
