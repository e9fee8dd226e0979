#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace testsupport {

using Rgb = std::array<int, 3>;

// A JPEG file decoded again (with TurboJPEG) to check what an encoder wrote.
struct DecodedJpeg {
    int width = 0;
    int height = 0;
    int subsampling = -1;          // TurboJPEG's TJSAMP_* value
    std::vector<std::uint8_t> rgb; // top-down rows, 3 bytes per pixel

    Rgb pixel(int x, int y) const;
};

// The decoded file, or nothing when it cannot be read or is not a JPEG.
std::optional<DecodedJpeg> decodeJpegFile(const QString& path);

// The 64 entries of quantisation table `id` as the file stores them; empty when there is none.
std::vector<int> quantisationTable(const QByteArray& jpeg, int id);

// True when every channel of a is within tolerance of b.
bool near(const Rgb& a, const Rgb& b, int tolerance);

} // namespace testsupport
