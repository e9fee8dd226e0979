#pragma once

#include "platform/errors/runtimeerror.h"

#include <cstdint>
#include <span>

// A two-dimensional view of borrowed bytes: element (b, r) is byte b of row r, the rows
// rowLength() bytes apart. Every access is tested against both bounds and raises run-time error 9
// (subscript out of range) outside them. The view never owns or frees the memory; a view over no
// memory has no elements.
//
// Loops that touch a run of bytes in one row take it with span(): the run is tested once, and the
// span it returns is indexed without further tests.
class ByteView {
public:
    ByteView() noexcept = default;
    ByteView(std::uint8_t* base, std::int32_t rowLength, std::int32_t rows) noexcept
        : base_(base), rowLength_(base && rowLength > 0 && rows > 0 ? rowLength : 0),
          rows_(base && rowLength > 0 && rows > 0 ? rows : 0) {}

    std::int32_t rowLength() const noexcept { return rowLength_; }
    std::int32_t rows() const noexcept { return rows_; }

    std::uint8_t& operator()(std::int32_t b, std::int32_t r) const {
        if (!inRange(b, rowLength_) || !inRange(r, rows_))
            platform::raise(platform::ErrSubscriptOutOfRange);
        return base_[offset(b, r)];
    }

    // Bytes first to first + count - 1 of row r.
    std::span<std::uint8_t> span(std::int32_t r, std::int32_t first, std::int32_t count) const {
        if (!inRange(r, rows_) || first < 0 || count < 0 ||
            std::int64_t{first} + count > rowLength_)
            platform::raise(platform::ErrSubscriptOutOfRange);
        return {base_ + offset(first, r), static_cast<std::size_t>(count)};
    }

private:
    static bool inRange(std::int32_t index, std::int32_t size) noexcept {
        return static_cast<std::uint32_t>(index) < static_cast<std::uint32_t>(size);
    }
    std::size_t offset(std::int32_t b, std::int32_t r) const noexcept {
        return static_cast<std::size_t>(r) * static_cast<std::size_t>(rowLength_) +
               static_cast<std::size_t>(b);
    }

    std::uint8_t* base_ = nullptr;
    std::int32_t rowLength_ = 0;
    std::int32_t rows_ = 0;
};
