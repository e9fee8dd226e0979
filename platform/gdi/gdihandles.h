#pragma once

#include "platform/gdi/gdi.h"

#include <utility>

// Owners for drawing handles that live within one routine: each gives its handle back when it
// goes out of scope. Declare them in the order of acquisition; they are released in reverse.
namespace gdi {

// The desktop window's device context, borrowed from the system.
class ScreenDC {
public:
    ScreenDC() : window_(GetDesktopWindow()), hdc_(GetDC(window_)) {}
    ~ScreenDC() { release(); }
    ScreenDC(const ScreenDC&) = delete;
    ScreenDC& operator=(const ScreenDC&) = delete;

    HDC get() const noexcept { return hdc_; }
    explicit operator bool() const noexcept { return hdc_ != 0; }
    // Gives the device context back early.
    void release() noexcept {
        if (hdc_)
            ReleaseDC(window_, std::exchange(hdc_, 0));
    }

private:
    HWND window_;
    HDC hdc_;
};

// A memory device context compatible with another one (0: with the screen).
class MemoryDC {
public:
    explicit MemoryDC(HDC compatibleWith = 0) : hdc_(CreateCompatibleDC(compatibleWith)) {}
    ~MemoryDC() {
        if (hdc_)
            DeleteDC(hdc_);
    }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;

    HDC get() const noexcept { return hdc_; }
    explicit operator bool() const noexcept { return hdc_ != 0; }

private:
    HDC hdc_;
};

// An object selected into a device context; the previous object goes back in at the end.
class Selection {
public:
    Selection(HDC hdc, HGDIOBJ object) : hdc_(hdc), previous_(SelectObject(hdc, object)) {}
    ~Selection() {
        if (previous_)
            SelectObject(hdc_, previous_);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

    // Whether the object went in.
    explicit operator bool() const noexcept { return previous_ != 0; }

private:
    HDC hdc_;
    HGDIOBJ previous_;
};

// A bitmap owned until it is deleted or handed on with release().
class OwnedBitmap {
public:
    explicit OwnedBitmap(HBITMAP bitmap) noexcept : bitmap_(bitmap) {}
    ~OwnedBitmap() {
        if (bitmap_)
            DeleteObject(bitmap_);
    }
    OwnedBitmap(const OwnedBitmap&) = delete;
    OwnedBitmap& operator=(const OwnedBitmap&) = delete;

    HBITMAP get() const noexcept { return bitmap_; }
    explicit operator bool() const noexcept { return bitmap_ != 0; }
    HBITMAP release() noexcept { return std::exchange(bitmap_, 0); }

private:
    HBITMAP bitmap_;
};

} // namespace gdi
