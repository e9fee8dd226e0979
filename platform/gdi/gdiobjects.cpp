#include "platform/gdi/gdiobjects.h"

namespace gdi::detail {

ObjectTable::ObjectTable() {
    // The pool must outlive every bitmap that returns memory to it.
    pool();
    Bitmap stock;
    stock.width = stock.height = 1;
    stock.bitsPerPixel = 32;
    stock.topDown = true;
    stock.stride = 4;
    stock.memory = PixelMemory::allocate(4);
    stock.stock = true;
    stockBitmap_ = add(std::move(stock));
}

HANDLE ObjectTable::add(Object object) {
    const HANDLE handle = next_++;
    objects_.emplace(handle, std::move(object));
    return handle;
}

void ObjectTable::remove(HANDLE handle) noexcept {
    objects_.erase(handle);
}

Bitmap* ObjectTable::bitmap(HANDLE handle) noexcept {
    const auto it = objects_.find(handle);
    return it == objects_.end() ? nullptr : std::get_if<Bitmap>(&it->second);
}

DeviceContext* ObjectTable::dc(HANDLE handle) noexcept {
    const auto it = objects_.find(handle);
    return it == objects_.end() ? nullptr : std::get_if<DeviceContext>(&it->second);
}

int ObjectTable::liveCount() const noexcept {
    // Every object but the stock bitmap.
    return static_cast<int>(objects_.size()) - 1;
}

ObjectTable& objects() {
    static ObjectTable table;
    return table;
}

} // namespace gdi::detail
