#pragma once

#include <cstddef>
#include <cstdint>

namespace gdi {

// The pixel memory of one bitmap: zeroed when handed out, returned when the bitmap goes.
// Large blocks are recycled: a fresh multi-megabyte block costs a page fault per page on first
// touch, several times what clearing a recycled block costs, so a few freed blocks are kept and
// handed out again (cleared). Small blocks come from the ordinary heap.
// Pixel memory may be taken and given back on any thread: the picture loader decodes pictures on
// worker threads before a bitmap adopts their memory on the user-interface thread.
class PixelMemory {
public:
    enum class Contents {
        Zeroed,
        // The caller writes every byte before anything reads one: a recycled block keeps what
        // its last bitmap left in it (fresh and small blocks are zeroed all the same).
        Undefined,
    };

    PixelMemory() noexcept = default;
    // Memory of the given size; empty when it cannot be had.
    static PixelMemory allocate(std::size_t bytes, Contents contents = Contents::Zeroed) noexcept;

    ~PixelMemory();
    PixelMemory(PixelMemory&& other) noexcept;
    PixelMemory& operator=(PixelMemory&& other) noexcept;
    PixelMemory(const PixelMemory&) = delete;
    PixelMemory& operator=(const PixelMemory&) = delete;

    std::uint8_t* data() const noexcept { return data_; }
    std::size_t size() const noexcept { return size_; }
    // Bytes it holds from the system: its size rounded up to whole pages for a recycled block.
    std::size_t footprint() const noexcept { return capacity_ != 0 ? capacity_ : size_; }
    explicit operator bool() const noexcept { return data_ != nullptr; }

private:
    void release() noexcept;

    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;     // bytes asked for (and cleared)
    std::size_t capacity_ = 0; // bytes mapped; 0 for a heap block
};

// Blocks at least this large are mapped from the system and recycled.
constexpr std::size_t kRecycledBlockMinimum = std::size_t{1} << 20;

// How many freed blocks are kept at most (2 at first; 0: none, every block goes straight back).
void setRecycledBlockLimit(int blocks) noexcept;
int recycledBlockLimit() noexcept;
// Bytes held by freed blocks waiting to be handed out again.
std::size_t recycledBytes() noexcept;

} // namespace gdi

namespace gdi::detail {

class Pool;
// The pool of freed blocks. Whatever holds pixel memory in a static object calls this first, so
// that the pool is made before it and outlives it.
Pool& pool();

} // namespace gdi::detail
