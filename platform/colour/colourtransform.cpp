#include "platform/colour/colourtransform.h"

// Pass-through until the colour service lands: every picture counts as untagged.
namespace platform {

struct ColourTransform::Impl {};

std::optional<ColourTransform> ColourTransform::toSrgb(const ColourDescription&, SourcePixels) {
    return std::nullopt;
}

ColourTransform::ColourTransform(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ColourTransform::~ColourTransform() = default;
ColourTransform::ColourTransform(ColourTransform&&) noexcept = default;
ColourTransform& ColourTransform::operator=(ColourTransform&&) noexcept = default;

void ColourTransform::convertRow(const void*, std::uint8_t*, int) const {}

} // namespace platform
