#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace platform {

// Reads values out of a TIFF structure (an EXIF block) in its byte order. Every read checks that
// the value lies wholly inside the block: offsets and counts from the block are never trusted.
class TiffReader {
public:
    explicit TiffReader(std::span<const std::uint8_t> data) : data_(data) {}

    // Reads the byte order and checks the TIFF mark; false for anything else.
    bool readByteOrder() {
        if (data_.size() < 8)
            return false;
        if (data_[0] == 'I' && data_[1] == 'I')
            little_ = true;
        else if (data_[0] == 'M' && data_[1] == 'M')
            little_ = false;
        else
            return false;
        return u16(2) == 42;
    }

    std::optional<std::uint32_t> u16(std::size_t offset) const {
        if (offset > data_.size() || data_.size() - offset < 2)
            return std::nullopt;
        const std::uint32_t a = data_[offset], b = data_[offset + 1];
        return little_ ? (a | b << 8) : (a << 8 | b);
    }
    std::optional<std::uint32_t> u32(std::size_t offset) const {
        const auto low = u16(offset + (little_ ? 0 : 2));
        const auto high = u16(offset + (little_ ? 2 : 0));
        if (!low || !high)
            return std::nullopt;
        return *low | *high << 16;
    }

    // Where the 12-byte entry of `tag` lies in the directory at `directory` (tag, type, count,
    // value or its offset), or nothing.
    std::optional<std::size_t> entry(std::uint32_t directory, std::uint16_t tag) const {
        const auto count = u16(directory);
        for (std::uint32_t i = 0; count && i < *count; ++i) {
            const std::size_t at = std::size_t{directory} + 2 + std::size_t{i} * 12;
            const auto found = u16(at);
            if (!found)
                break;
            if (*found == tag)
                return at;
        }
        return std::nullopt;
    }

private:
    std::span<const std::uint8_t> data_;
    bool little_ = true;
};

} // namespace platform
