#include "platform/picture/exiforientation.h"

#include <optional>

namespace platform {

namespace {

constexpr std::uint16_t OrientationTag = 0x0112;
constexpr std::uint16_t TypeShort = 3;

class TiffReader {
public:
    explicit TiffReader(std::span<const std::uint8_t> data) : data_(data) {}

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

    // A value at an offset, or nothing when it does not lie wholly inside the block.
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

private:
    std::span<const std::uint8_t> data_;
    bool little_ = true;
};

} // namespace

int exifOrientation(std::span<const std::uint8_t> tiff) {
    TiffReader reader(tiff);
    if (!reader.readByteOrder())
        return OrientationUpright;
    const auto ifd = reader.u32(4);
    if (!ifd)
        return OrientationUpright;
    const auto count = reader.u16(*ifd);
    if (!count)
        return OrientationUpright;
    // Each entry: tag, type, count, value (a SHORT sits in the value field's first two bytes).
    for (std::uint32_t i = 0; i < *count; ++i) {
        const std::size_t entry = std::size_t{*ifd} + 2 + std::size_t{i} * 12;
        const auto tag = reader.u16(entry);
        if (!tag)
            break;
        if (*tag != OrientationTag)
            continue;
        const auto type = reader.u16(entry + 2);
        const auto values = reader.u32(entry + 4);
        const auto value = reader.u16(entry + 8);
        if (type != TypeShort || !values || *values < 1 || !value || *value < 1 || *value > 8)
            return OrientationUpright;
        return static_cast<int>(*value);
    }
    return OrientationUpright;
}

} // namespace platform
