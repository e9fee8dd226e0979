#include "platform/picture/orientedcopy.h"

#include <utility>

namespace platform {

void mirrorRows(const DecodeTarget& target) {
    for (int y = 0; y < target.height; ++y) {
        std::uint8_t* left = target.row(y);
        std::uint8_t* right = left + static_cast<std::ptrdiff_t>(target.width - 1) * 3;
        for (; left < right; left += 3, right -= 3) {
            std::swap(left[0], right[0]);
            std::swap(left[1], right[1]);
            std::swap(left[2], right[2]);
        }
    }
}

} // namespace platform
