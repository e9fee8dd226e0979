#include "platform/colour/iccprofile.h"

namespace platform {

namespace {

constexpr std::size_t HeaderBytes = 128;
constexpr std::size_t TagEntryBytes = 12;

std::uint32_t bigEndian32(std::span<const std::uint8_t> data, std::size_t at) {
    return std::uint32_t{data[at]} << 24 | std::uint32_t{data[at + 1]} << 16 |
           std::uint32_t{data[at + 2]} << 8 | data[at + 3];
}

} // namespace

std::optional<std::span<const std::uint8_t>>
wellFormedIccProfile(std::span<const std::uint8_t> data) {
    if (data.size() < HeaderBytes + 4)
        return std::nullopt;
    // Writers may pad what follows the profile; what the header declares is the profile.
    const std::size_t size = bigEndian32(data, 0);
    if (size < HeaderBytes + 4 || size > data.size() || bigEndian32(data, 36) != 0x61637370) // acsp
        return std::nullopt;
    const auto profile = data.first(size);
    const std::size_t tags = bigEndian32(profile, HeaderBytes);
    if (tags == 0 || tags > (size - HeaderBytes - 4) / TagEntryBytes)
        return std::nullopt;
    for (std::size_t i = 0; i < tags; ++i) {
        const std::size_t entry = HeaderBytes + 4 + i * TagEntryBytes;
        const std::uint64_t offset = bigEndian32(profile, entry + 4);
        const std::uint64_t length = bigEndian32(profile, entry + 8);
        if (offset < HeaderBytes || length < 8 || offset + length > size)
            return std::nullopt;
    }
    return profile;
}

} // namespace platform
