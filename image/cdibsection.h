#pragma once

#include "platform/gdi/gdi.h"
#include "platform/picture/picture.h"

#include <cstdint>
#include <memory>

// The image buffer: a 24-bit device-independent bitmap held as a DIB section and kept selected
// into a memory device context of its own. Pixels are blue, green, red; rows lie bottom-up, each
// BytesPerScanLine() bytes long (3 x width rounded up to a multiple of 4).
// Instances are shared by reference (std::shared_ptr) and release their handles when destroyed.
class cDIBSection {
public:
    cDIBSection() = default;
    ~cDIBSection();
    cDIBSection(const cDIBSection&) = delete;
    cDIBSection& operator=(const cDIBSection&) = delete;

    bool CopyToClipboard(bool bAsDIB = true);
    bool CreateDIB(gdi::HDC lhDC, std::int32_t lWidth, std::int32_t lHeight, gdi::HBITMAP& hDib);
    void CreateFromPicture(const platform::PictureDisp& picThis);
    bool Create(std::int32_t lWidth, std::int32_t lHeight);
    std::int32_t BytesPerScanLine() const;
    std::int32_t Width() const noexcept { return tHeader.biWidth; }
    std::int32_t Height() const noexcept { return tHeader.biHeight; }
    // Copies from lhDC into the buffer; false when the copy cannot be made.
    bool LoadPictureBlt(gdi::HDC lhDC, std::int32_t lSrcLeft = 0, std::int32_t lSrcTop = 0,
                        std::int32_t lSrcWidth = -1, std::int32_t lSrcHeight = -1,
                        std::uint32_t eRop = gdi::SRCCOPY);
    void PaintPicture(gdi::HDC lhDC, std::int32_t lDestLeft = 0, std::int32_t lDestTop = 0,
                      std::int32_t lDestWidth = -1, std::int32_t lDestHeight = -1,
                      std::int32_t lSrcLeft = 0, std::int32_t lSrcTop = 0,
                      std::uint32_t eRop = gdi::SRCCOPY);
    gdi::HDC hdc() const noexcept { return hMemDC; }
    gdi::HBITMAP hDib() const noexcept { return hDibSection; }
    std::uint8_t* DIBSectionBitsPtr() const noexcept { return lBits; }
    // Fills every pixel with random values: a random grey each with bGray, otherwise blue 0 and a
    // random green and red. The generator is seeded from the time of day; the second form takes
    // the seed, so that a run can be repeated.
    void RandomiseBits(bool bGray = false);
    void RandomiseBits(bool bGray, float sngSeed);
    void ClearUp();
    // A new buffer of the given size holding this buffer's picture: copied unchanged at the same
    // size, bilinearly interpolated at any other. None when the new buffer cannot be made, or when
    // this buffer has no pixel memory. A source only 1 pixel wide or high cannot be interpolated
    // (run-time error 9). This buffer is never changed.
    std::shared_ptr<cDIBSection> Resample(std::int32_t lNewHeight, std::int32_t lNewWidth) const;

private:
    // Whether a new buffer's pixels are cleared, or left to a caller that writes every one.
    enum class NewPixels { Black, ToOverwrite };
    bool createSection(gdi::HDC lhDC, std::int32_t lWidth, std::int32_t lHeight, gdi::HBITMAP& hDib,
                       NewPixels pixels);
    bool createBuffer(std::int32_t lWidth, std::int32_t lHeight, NewPixels pixels);

    // Fills every pixel of dest, a created buffer, from this buffer's pixels.
    void InterpolateInto(cDIBSection& dest) const;

    gdi::HBITMAP hDibSection = 0;
    gdi::HGDIOBJ hPrevBitmap = 0;
    gdi::HDC hMemDC = 0;
    std::uint8_t* lBits = nullptr;
    gdi::BITMAPINFOHEADER tHeader{};
};
