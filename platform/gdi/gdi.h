#pragma once

#include "platform/gdi/pixelmemory.h"

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
// Raster-operation codes by their usual names (bits 16-23 are the operation's truth table).
constexpr std::uint32_t SRCCOPY = 0x00CC0020;
constexpr std::uint32_t SRCPAINT = 0x00EE0086;
constexpr std::uint32_t SRCAND = 0x008800C6;
constexpr std::uint32_t SRCINVERT = 0x00660046;
constexpr std::uint32_t SRCERASE = 0x00440328;
constexpr std::uint32_t NOTSRCCOPY = 0x00330008;
constexpr std::uint32_t NOTSRCERASE = 0x001100A6;
constexpr std::uint32_t MERGECOPY = 0x00C000CA;
constexpr std::uint32_t MERGEPAINT = 0x00BB0226;
constexpr std::uint32_t PATCOPY = 0x00F00021;
constexpr std::uint32_t PATPAINT = 0x00FB0A09;
constexpr std::uint32_t PATINVERT = 0x005A0049;
constexpr std::uint32_t DSTINVERT = 0x00550009;
constexpr std::uint32_t BLACKNESS = 0x00000042;
constexpr std::uint32_t WHITENESS = 0x00FF0062;
constexpr std::uint32_t CF_BITMAP = 2;
constexpr std::uint32_t CF_DIB = 8;

// The handles and the objects behind them belong to the user-interface thread.

// Device contexts. CreateCompatibleDC(0) makes a memory DC compatible with the screen; a new
// memory DC holds the 1x1 stock bitmap. The desktop's DC (GetDC) has no pixels of its own here:
// nothing can be selected into it and transfers from or to it fail.
HDC CreateCompatibleDC(HDC hdc);
bool DeleteDC(HDC hdc);
HWND GetDesktopWindow();
HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC hdc);

// Bitmaps. A DIB section's pixel memory starts zeroed and belongs to the section.
// Only 24- and 32-bit uncompressed sections are supported; anything else yields 0.
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFOHEADER* header, std::uint32_t usage, void** bits,
                         HANDLE section, std::uint32_t offset);
// A DIB section like CreateDIBSection(0, header, DIB_RGB_COLORS, bits, 0, 0) for a caller that
// writes every pixel before anything reads one: memory recycled from a freed bitmap is handed out
// as it is (only the row padding is zeroed), which saves clearing 36 MB for a 12-megapixel
// picture. Not a Windows function.
HBITMAP CreateDIBSectionToOverwrite(const BITMAPINFOHEADER* header, void** bits);
// A DIB section in two steps, for pixels made away from the user-interface thread (these two are
// not Windows functions). AllocateDIBPixels makes the memory of a section that the header
// describes (as CreateDIBSection takes it: 24 or 32 bits, BI_RGB), zeroed or, for Undefined, with
// only the row padding zeroed; it touches no handle, so it may run on any thread. Empty when the
// header is refused or the memory cannot be had. AdoptDIBSection, on the thread of the handles,
// makes a section of the header's size that takes over such memory, without a copy; 0 when the
// header is refused or the memory does not fit it (the memory is then freed).
PixelMemory AllocateDIBPixels(const BITMAPINFOHEADER* header,
                              PixelMemory::Contents contents = PixelMemory::Contents::Zeroed);
HBITMAP AdoptDIBSection(const BITMAPINFOHEADER* header, PixelMemory memory, void** bits);
// A bitmap in the screen's format (32 bits per pixel, top-down), zeroed; hdc must be a DC.
HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height);
// Selects a bitmap into a memory DC and returns the one it held; 0 on failure (a bitmap can be in
// one DC at a time, only the stock bitmap in many).
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object);
// Refuses (false) stock objects, a bitmap selected into a DC and one the clipboard owns.
bool DeleteObject(HGDIOBJ object);
// Copies a BITMAP description of a bitmap into buffer; returns the bytes written, 0 on failure.
// bmHeight is the number of rows whatever the row order; bmBits is set for DIB sections only.
int GetObjectA(HGDIOBJ object, int size, void* buffer);

// Copies a rectangle between the bitmaps selected into two device contexts, combining source and
// destination by the raster-operation code (any of the 256 ternary codes; the pattern is the
// device context's white brush). Pixels outside either bitmap are clipped. Fails for the desktop's
// DC and for invalid handles; the source DC is not looked at when the operation reads no source.
bool BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY,
            std::uint32_t rop);

// The clipboard (the application's QClipboard; CF_BITMAP only). A bitmap handed over with
// SetClipboardData belongs to the clipboard afterwards: it can neither be selected nor deleted,
// and the next EmptyClipboard (or the next bitmap put there) frees it.
bool OpenClipboard(HWND owner);
bool EmptyClipboard();
HANDLE SetClipboardData(std::uint32_t format, HANDLE data);
bool CloseClipboard();

// Live device contexts and bitmaps (stock objects not counted): lets tests prove nothing leaks.
int liveObjectCount();

} // namespace gdi
