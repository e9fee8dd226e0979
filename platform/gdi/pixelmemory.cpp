#include "platform/gdi/pixelmemory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace gdi::detail {

namespace {

struct Block {
    std::uint8_t* data;
    std::size_t capacity;
};

std::size_t pageRounded(std::size_t bytes) {
    static const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

Block mapFresh(std::size_t bytes) noexcept {
    const std::size_t capacity = pageRounded(bytes);
    void* p = ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return {nullptr, 0};
    // Small pages, on purpose: on a virtual machine the first touch of a fresh huge page costs far
    // more than that of the small pages it stands for (a run's first picture and image buffer
    // took 100 ms longer with huge pages), and recycled blocks run no faster on huge ones.
    return {static_cast<std::uint8_t*>(p), capacity};
}

void unmap(const Block& block) noexcept {
    ::munmap(block.data, block.capacity);
}

} // namespace

// The freed large blocks, oldest first. Worker threads of the picture loader take and give
// blocks too, so every look at the list is locked; clearing and unmapping happen outside the lock.
// A batch run holds at most a picture and a buffer at once, and frees each before making the next
// of its kind: two spare blocks are all it draws on, besides what its read-ahead holds.
class Pool {
public:
    ~Pool() {
        for (const Block& b : blocks_)
            unmap(b);
    }

    // A spare block of at least `bytes` and at most twice that, cleared over `bytes` if asked.
    Block take(std::size_t bytes, bool clear) noexcept {
        Block block{nullptr, 0};
        {
            const std::lock_guard lock(mutex_);
            auto best = blocks_.end();
            for (auto it = blocks_.begin(); it != blocks_.end(); ++it) {
                if (it->capacity >= bytes && it->capacity / 2 <= bytes &&
                    (best == blocks_.end() || it->capacity < best->capacity))
                    best = it;
            }
            if (best == blocks_.end())
                return block;
            block = *best;
            blocks_.erase(best);
        }
        // Clearing costs about a third of what first-touch faults on fresh pages cost.
        if (clear)
            std::memset(block.data, 0, bytes);
        return block;
    }

    void give(const Block& block) noexcept {
        std::vector<Block> surplus;
        {
            const std::lock_guard lock(mutex_);
            try {
                if (limit_ > 0)
                    blocks_.push_back(block);
                else
                    surplus.push_back(block);
            } catch (...) {
                unmap(block);
                return;
            }
            trim(surplus);
        }
        unmapAll(surplus);
    }

    void setLimit(int blocks) noexcept {
        std::vector<Block> surplus;
        {
            const std::lock_guard lock(mutex_);
            limit_ = std::max(blocks, 0);
            trim(surplus);
        }
        unmapAll(surplus);
    }
    int limit() const noexcept {
        const std::lock_guard lock(mutex_);
        return limit_;
    }

    std::size_t bytes() const noexcept {
        const std::lock_guard lock(mutex_);
        std::size_t total = 0;
        for (const Block& b : blocks_)
            total += b.capacity;
        return total;
    }

private:
    // Moves the oldest blocks beyond the limit into surplus (or unmaps them when it is full).
    void trim(std::vector<Block>& surplus) noexcept {
        while (blocks_.size() > static_cast<std::size_t>(limit_)) {
            try {
                surplus.push_back(blocks_.front());
            } catch (...) {
                unmap(blocks_.front());
            }
            blocks_.erase(blocks_.begin());
        }
    }

    static void unmapAll(const std::vector<Block>& blocks) noexcept {
        for (const Block& b : blocks)
            unmap(b);
    }

    mutable std::mutex mutex_;
    std::vector<Block> blocks_;
    int limit_ = 2;
};

Pool& pool() {
    static Pool instance;
    return instance;
}

} // namespace gdi::detail

namespace gdi {

using detail::pool;

PixelMemory PixelMemory::allocate(std::size_t bytes, Contents contents) noexcept {
    PixelMemory memory;
    if (bytes == 0)
        return memory;
    if (bytes < kRecycledBlockMinimum) {
        memory.data_ = static_cast<std::uint8_t*>(std::calloc(bytes, 1));
        memory.size_ = memory.data_ ? bytes : 0;
        return memory;
    }
    detail::Block block = pool().take(bytes, contents == Contents::Zeroed);
    if (!block.data)
        block = detail::mapFresh(bytes);
    if (block.data) {
        memory.data_ = block.data;
        memory.size_ = bytes;
        memory.capacity_ = block.capacity;
    }
    return memory;
}

PixelMemory::~PixelMemory() {
    release();
}

PixelMemory::PixelMemory(PixelMemory&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

PixelMemory& PixelMemory::operator=(PixelMemory&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

void PixelMemory::release() noexcept {
    if (!data_)
        return;
    if (capacity_ == 0)
        std::free(data_);
    else
        pool().give({data_, capacity_});
    data_ = nullptr;
    size_ = capacity_ = 0;
}

void setRecycledBlockLimit(int blocks) noexcept {
    detail::pool().setLimit(blocks);
}
int recycledBlockLimit() noexcept {
    return detail::pool().limit();
}
std::size_t recycledBytes() noexcept {
    return detail::pool().bytes();
}

} // namespace gdi
