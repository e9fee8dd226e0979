#include "platform/gdi/gdi.h"
#include "platform/gdi/gdiobjects.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>

namespace gdi {

using detail::Bitmap;
using detail::objects;

namespace {

struct ClipboardState {
    bool open = false;
    HBITMAP bitmap = 0; // the bitmap the clipboard owns, freed when the clipboard is emptied
};

ClipboardState& state() {
    static ClipboardState instance;
    return instance;
}

QClipboard* systemClipboard() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance())
               ? QGuiApplication::clipboard()
               : nullptr;
}

void freeOwnedBitmap() {
    if (Bitmap* const owned = objects().bitmap(state().bitmap)) {
        owned->onClipboard = false;
        DeleteObject(state().bitmap);
    }
    state().bitmap = 0;
}

QImage imageOf(const Bitmap& bitmap) {
    QImage image(bitmap.width, bitmap.height, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    const int bytesPerPixel = bitmap.bitsPerPixel / 8;
    for (std::int32_t y = 0; y < bitmap.height; ++y) {
        const std::uint8_t* s = bitmap.row(y);
        auto* d = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (std::int32_t x = 0; x < bitmap.width; ++x, s += bytesPerPixel)
            d[x] = qRgb(s[2], s[1], s[0]);
    }
    return image;
}

} // namespace

bool OpenClipboard(HWND) {
    if (state().open || !systemClipboard())
        return false;
    state().open = true;
    return true;
}

bool EmptyClipboard() {
    if (!state().open)
        return false;
    freeOwnedBitmap();
    systemClipboard()->clear();
    return true;
}

HANDLE SetClipboardData(std::uint32_t format, HANDLE data) {
    if (!state().open || format != CF_BITMAP)
        return 0;
    Bitmap* const bitmap = objects().bitmap(data);
    if (!bitmap || bitmap->stock || bitmap->selectedInto != 0 || bitmap->onClipboard)
        return 0;
    const QImage image = imageOf(*bitmap);
    if (image.isNull())
        return 0;
    systemClipboard()->setImage(image);
    // The clipboard holds one bitmap: a new one replaces the last.
    freeOwnedBitmap();
    bitmap->onClipboard = true;
    state().bitmap = data;
    return data;
}

bool CloseClipboard() {
    if (!state().open)
        return false;
    state().open = false;
    return true;
}

} // namespace gdi
