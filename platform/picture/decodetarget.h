#pragma once

#include "platform/colour/colourtransform.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <type_traits>
#include <utility>

namespace platform {

// The most pixels a picture may have: enough for any camera, small enough that a lying header
// cannot make the loader take gigabytes.
constexpr std::int64_t MaxPicturePixels = std::int64_t{1} << 28;

// No file packs a real picture into less than a byte per 65536 pixels (the tightest coders manage
// a few thousand); a header claiming more than that is lying or the data is all but missing.
constexpr std::int64_t MaxPixelsPerFileByte = std::int64_t{1} << 16;

// Bytes per row of a 24-bit bitmap: 3 x width rounded up to a multiple of 4.
constexpr std::size_t bgrStride(std::int64_t width) {
    return static_cast<std::size_t>((width * 3 + 3) & ~std::int64_t{3});
}

// Where a decoder puts a picture: 24-bit blue-green-red rows lying bottom-up, `stride` bytes
// apart, as the loader's bitmap holds them. Rows are addressed from the top through row().
struct DecodeTarget {
    std::uint8_t* bits = nullptr; // first byte of the bottom row
    int width = 0;
    int height = 0;
    std::size_t stride = 0;

    std::uint8_t* row(int y) const {
        return bits + static_cast<std::size_t>(height - 1 - y) * stride;
    }
};

// What a decoder does with its target's pixels.
enum class TargetPixels {
    Zeroed,      // it may leave some as they are: they must start black
    Overwritten, // it writes every one: what they start with does not matter (the padding is zero)
};

// Bytes of a bitmap of that size: its rows at bgrStride.
constexpr std::size_t bitmapBytes(std::int64_t width, std::int64_t height) {
    return bgrStride(width) * static_cast<std::size_t>(height);
}

// Hands a decoder its target once the picture's size is known (called at most once per decode),
// and hears beforehand how much memory the decode will take.
class TargetAllocator {
public:
    using Allocate = std::function<DecodeTarget(int width, int height, TargetPixels pixels)>;
    using Expect = std::function<void(std::size_t bytes)>;

    template <class F>
    requires std::is_invocable_r_v<DecodeTarget, const F&, int, int, TargetPixels>
    TargetAllocator(F allocate, Expect expect = {}) // NOLINT: a lambda stands for an allocator
        : allocate_(std::move(allocate)), expect_(std::move(expect)) {}

    // Throws RuntimeError like the decoders do.
    DecodeTarget operator()(int width, int height, TargetPixels pixels) const {
        return allocate_(width, height, pixels);
    }

    // A decoder calls this as soon as the header has told the picture's size, before it takes
    // memory for the picture: `bytes` is the most it will hold at once while it decodes, the
    // target (bitmapBytes) included and the file's data not. It lets the read-ahead keep to its
    // memory budget. Throws like the decoders do.
    void expect(std::size_t bytes) const {
        if (expect_)
            expect_(bytes);
    }

private:
    Allocate allocate_;
    Expect expect_;
};

// Refuses a picture size, read from a file of `fileBytes` bytes, before any memory is taken for it:
// 481 for a size that is empty, beyond MaxPicturePixels or beyond what the file can hold, 7 when
// its bitmap would not fit into the machine's memory.
void checkPictureSize(std::int64_t width, std::int64_t height, std::size_t fileBytes);

// Whether a block of this many bytes could be had at all (it is not larger than the machine's
// memory). Guards allocations whose size comes from a file.
bool fitsIntoMemory(std::int64_t bytes);

// Sets every pixel of the target to one grey level (255: white); the row padding stays as it is.
void fillTarget(const DecodeTarget& target, std::uint8_t level);

// Turns the target's pixels into sRGB where they lie, through a transform made for Bgr8 rows, or
// for Gray8 ones when `decoded` says that each pixel holds one grey value three times.
void convertTarget(const DecodeTarget& target, const ColourTransform& colour,
                   SourcePixels decoded = SourcePixels::Bgr8);

} // namespace platform
