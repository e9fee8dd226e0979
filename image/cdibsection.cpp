#include "image/cdibsection.h"

#include "image/byteview.h"
#include "image/uniformrandom.h"
#include "platform/errors/runtimeerror.h"
#include "platform/gdi/gdihandles.h"
#include "platform/windows/appinfo.h"
#include "platform/windows/messagebox.h"

#include <QTime>
#include <cmath>
#include <limits>

namespace {

std::int32_t checked(std::int64_t value) {
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        platform::raise(platform::ErrOverflow);
    return static_cast<std::int32_t>(value);
}

// A random value scaled to a byte: rounded to the nearest integer, halves to the even neighbour.
std::uint8_t randomByte(UniformRandom& random) {
    return static_cast<std::uint8_t>(std::nearbyint(static_cast<double>(random.next()) * 255.0));
}

float secondsSinceMidnight() {
    return static_cast<float>(QTime::currentTime().msecsSinceStartOfDay()) / 1000.0f;
}

} // namespace

cDIBSection::~cDIBSection() {
    ClearUp();
}

bool cDIBSection::CopyToClipboard(bool bAsDIB) {
    gdi::ScreenDC screen;
    if (!screen)
        return false;
    const gdi::MemoryDC memory(screen.get());
    if (!memory)
        return false;
    if (bAsDIB) {
        platform::MsgBox(QStringLiteral("I don't know how to put a DIB on the clipboard! Copy as "
                                        "bitmap instead!!!"),
                         platform::vbOKOnly, platform::AppTitle);
        return false;
    }
    // Declared after the DCs: a bitmap the clipboard did not take goes before them.
    gdi::OwnedBitmap bitmap(gdi::CreateCompatibleBitmap(screen.get(), Width(), Height()));
    if (!bitmap)
        return false;
    {
        const gdi::Selection selected(memory.get(), bitmap.get());
        PaintPicture(memory.get(), 0, 0, -1, -1, 0, 0, gdi::SRCCOPY);
    }
    bool placed = false;
    if (gdi::OpenClipboard(0)) {
        gdi::EmptyClipboard();
        if (gdi::SetClipboardData(gdi::CF_BITMAP, bitmap.get()) != 0) {
            bitmap.release(); // the clipboard's now
            placed = true;
        }
        gdi::CloseClipboard();
    }
    return placed;
}

bool cDIBSection::CreateDIB(gdi::HDC lhDC, std::int32_t lWidth, std::int32_t lHeight,
                            gdi::HBITMAP& hDib) {
    return createSection(lhDC, lWidth, lHeight, hDib, NewPixels::Black);
}

bool cDIBSection::createSection(gdi::HDC lhDC, std::int32_t lWidth, std::int32_t lHeight,
                                gdi::HBITMAP& hDib, NewPixels pixels) {
    tHeader = gdi::BITMAPINFOHEADER{};
    tHeader.biWidth = lWidth;
    tHeader.biSize = sizeof(gdi::BITMAPINFOHEADER);
    tHeader.biHeight = lHeight;
    tHeader.biPlanes = 1;
    tHeader.biBitCount = 24;
    tHeader.biCompression = gdi::BI_RGB;
    tHeader.biSizeImage =
        static_cast<std::uint32_t>(checked(std::int64_t{tHeader.biHeight} * BytesPerScanLine()));

    // The buffer is always bottom-up with at least one pixel: a negative height would turn the
    // rows over and break the layout every reader relies on.
    void* bits = nullptr;
    if (lWidth <= 0 || lHeight <= 0)
        hDib = 0;
    else if (pixels == NewPixels::ToOverwrite)
        hDib = gdi::CreateDIBSectionToOverwrite(&tHeader, &bits);
    else
        hDib = gdi::CreateDIBSection(lhDC, &tHeader, gdi::DIB_RGB_COLORS, &bits, 0, 0);
    lBits = static_cast<std::uint8_t*>(bits);
    return hDib != 0;
}

void cDIBSection::CreateFromPicture(const platform::PictureDisp& picThis) {
    gdi::BITMAP description;
    if (picThis)
        gdi::GetObjectA(picThis->Handle(), sizeof description, &description);
    // Every pixel is copied from the picture, so the new buffer is not cleared first; when the
    // copy cannot be made there is no buffer at all rather than one with stale pixels.
    if (!createBuffer(description.bmWidth, description.bmHeight, NewPixels::ToOverwrite))
        return;

    gdi::ScreenDC screen;
    bool copied = false;
    if (screen) {
        const gdi::MemoryDC source(screen.get());
        screen.release();
        if (source) {
            const gdi::Selection picture(source.get(), picThis->Handle());
            copied = picture && LoadPictureBlt(source.get(), 0, 0, -1, -1, gdi::SRCCOPY);
        }
    }
    if (!copied)
        ClearUp();
}

bool cDIBSection::Create(std::int32_t lWidth, std::int32_t lHeight) {
    return createBuffer(lWidth, lHeight, NewPixels::Black);
}

bool cDIBSection::createBuffer(std::int32_t lWidth, std::int32_t lHeight, NewPixels pixels) {
    ClearUp();
    hMemDC = gdi::CreateCompatibleDC(0);
    if (hMemDC == 0)
        return false;
    if (createSection(hMemDC, lWidth, lHeight, hDibSection, pixels)) {
        hPrevBitmap = gdi::SelectObject(hMemDC, hDibSection);
        return true;
    }
    gdi::DeleteDC(hMemDC);
    hMemDC = 0;
    return false;
}

std::int32_t cDIBSection::BytesPerScanLine() const {
    return checked(std::int64_t{tHeader.biWidth} * 3 + 3) & ~3;
}

bool cDIBSection::LoadPictureBlt(gdi::HDC lhDC, std::int32_t lSrcLeft, std::int32_t lSrcTop,
                                 std::int32_t lSrcWidth, std::int32_t lSrcHeight,
                                 std::uint32_t eRop) {
    if (lSrcWidth < 0)
        lSrcWidth = Width();
    if (lSrcHeight < 0)
        lSrcHeight = Height();
    return gdi::BitBlt(hMemDC, 0, 0, lSrcWidth, lSrcHeight, lhDC, lSrcLeft, lSrcTop, eRop);
}

void cDIBSection::PaintPicture(gdi::HDC lhDC, std::int32_t lDestLeft, std::int32_t lDestTop,
                               std::int32_t lDestWidth, std::int32_t lDestHeight,
                               std::int32_t lSrcLeft, std::int32_t lSrcTop, std::uint32_t eRop) {
    if (lDestWidth < 0)
        lDestWidth = Width();
    if (lDestHeight < 0)
        lDestHeight = Height();
    gdi::BitBlt(lhDC, lDestLeft, lDestTop, lDestWidth, lDestHeight, hMemDC, lSrcLeft, lSrcTop,
                eRop);
}

void cDIBSection::RandomiseBits(bool bGray) {
    RandomiseBits(bGray, secondsSinceMidnight());
}

void cDIBSection::RandomiseBits(bool bGray, float sngSeed) {
    const ByteView view(lBits, BytesPerScanLine(), tHeader.biHeight);
    UniformRandom random(sngSeed);
    const std::int32_t xEnd = checked((std::int64_t{Width()} - 1) * 3);
    if (!lBits)
        return; // no pixel memory: nothing to fill
    const std::int32_t height = tHeader.biHeight;
    if (bGray) {
        for (std::int32_t r = 0; r < height; ++r) {
            // One test for the row's pixels; the padding after xEnd + 2 stays as it is.
            const auto row = view.span(r, 0, xEnd + 3);
            for (std::int32_t b = 0; b <= xEnd; b += 3) {
                const std::uint8_t grey = randomByte(random);
                row[b] = row[b + 1] = row[b + 2] = grey;
            }
        }
    } else {
        for (std::int32_t b = 0; b <= xEnd; b += 3) {
            for (std::int32_t r = 0; r < height; ++r) {
                view(b, r) = 0;
                view(b + 1, r) = randomByte(random);
                view(b + 2, r) = randomByte(random);
            }
        }
    }
}

void cDIBSection::ClearUp() {
    if (hMemDC != 0) {
        if (hDibSection != 0) {
            gdi::SelectObject(hMemDC, hPrevBitmap);
            gdi::DeleteObject(hDibSection);
        }
        gdi::DeleteDC(hMemDC);
    }
    hMemDC = 0;
    hDibSection = 0;
    hPrevBitmap = 0;
    lBits = nullptr;
}
