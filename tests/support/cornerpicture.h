#pragma once

#include "support/decodedjpeg.h"

#include <QString>
#include <cstdint>
#include <optional>

namespace testsupport {

// A picture in four coloured quarters: blue top left, green top right, white bottom left, red
// bottom right. With an odd size the left and top quarters are the larger ones.
namespace corners {
inline constexpr Rgb kTopLeft{0, 0, 255};
inline constexpr Rgb kTopRight{0, 255, 0};
inline constexpr Rgb kBottomLeft{255, 255, 255};
inline constexpr Rgb kBottomRight{255, 0, 0};

// The colour the picture has at (x, y), y counted from the top.
Rgb colourAt(int x, int y, int width, int height);
} // namespace corners

// Paints the quarters into blue-green-red pixel rows of `stride` bytes that lie top-down or
// bottom-up in memory, and fills the bytes after each row's last pixel with a value that no
// quarter has, so that an encoder reading them as pixels shows it.
void paintCorners(std::uint8_t* bits, int width, int height, int stride, bool bottomUp);

// Nothing when the decoded picture has the painted size and each quarter's colour at its
// corners and in its middle; otherwise a message that says what differs.
std::optional<QString> cornersDiffer(const DecodedJpeg& decoded, int width, int height);

} // namespace testsupport
