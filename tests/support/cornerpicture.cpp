#include "support/cornerpicture.h"

namespace testsupport {

namespace {
constexpr std::uint8_t kPadding = 0x5A;
constexpr int kTolerance = 40;
} // namespace

Rgb corners::colourAt(int x, int y, int width, int height) {
    const bool left = x < (width + 1) / 2;
    const bool top = y < (height + 1) / 2;
    if (top)
        return left ? kTopLeft : kTopRight;
    return left ? kBottomLeft : kBottomRight;
}

void paintCorners(std::uint8_t* bits, int width, int height, int stride, bool bottomUp) {
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row =
            bits + static_cast<std::ptrdiff_t>(bottomUp ? height - 1 - y : y) * stride;
        for (int x = 0; x < width; ++x) {
            const Rgb colour = corners::colourAt(x, y, width, height);
            row[3 * x] = static_cast<std::uint8_t>(colour[2]);
            row[3 * x + 1] = static_cast<std::uint8_t>(colour[1]);
            row[3 * x + 2] = static_cast<std::uint8_t>(colour[0]);
        }
        for (int b = 3 * width; b < stride; ++b)
            row[b] = kPadding;
    }
}

std::optional<QString> cornersDiffer(const DecodedJpeg& decoded, int width, int height) {
    if (decoded.width != width || decoded.height != height)
        return QStringLiteral("size %1 x %2, expected %3 x %4")
            .arg(decoded.width)
            .arg(decoded.height)
            .arg(width)
            .arg(height);
    const int xs[] = {0, width / 4, width - 1 - width / 4, width - 1};
    const int ys[] = {0, height / 4, height - 1 - height / 4, height - 1};
    for (const int y : ys) {
        for (const int x : xs) {
            const Rgb expected = corners::colourAt(x, y, width, height);
            const Rgb found = decoded.pixel(x, y);
            if (!near(found, expected, kTolerance))
                return QStringLiteral("pixel (%1, %2) is %3 %4 %5, expected %6 %7 %8")
                    .arg(x)
                    .arg(y)
                    .arg(found[0])
                    .arg(found[1])
                    .arg(found[2])
                    .arg(expected[0])
                    .arg(expected[1])
                    .arg(expected[2]);
        }
    }
    return std::nullopt;
}

} // namespace testsupport
