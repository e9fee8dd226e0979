#include "support/decodedjpeg.h"

#include "support/files.h"

#include <cstdlib>
#include <memory>
#include <turbojpeg.h>

namespace testsupport {

Rgb DecodedJpeg::pixel(int x, int y) const {
    const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 3;
    return {rgb[at], rgb[at + 1], rgb[at + 2]};
}

std::optional<DecodedJpeg> decodeJpegFile(const QString& path) {
    const QByteArray bytes = contentsOf(path);
    const std::unique_ptr<void, int (*)(tjhandle)> decoder(tjInitDecompress(), tjDestroy);
    if (!decoder)
        return std::nullopt;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto size = static_cast<unsigned long>(bytes.size());
    DecodedJpeg decoded;
    int colourspace = 0;
    if (tjDecompressHeader3(decoder.get(), data, size, &decoded.width, &decoded.height,
                            &decoded.subsampling, &colourspace) != 0)
        return std::nullopt;
    decoded.rgb.resize(static_cast<std::size_t>(decoded.width) * decoded.height * 3);
    if (tjDecompress2(decoder.get(), data, size, decoded.rgb.data(), decoded.width, 0,
                      decoded.height, TJPF_RGB, TJFLAG_ACCURATEDCT) != 0)
        return std::nullopt;
    return decoded;
}

std::vector<int> quantisationTable(const QByteArray& jpeg, int id) {
    const auto byte = [&](qsizetype at) { return static_cast<unsigned char>(jpeg.at(at)); };
    qsizetype at = 2; // after the start-of-image marker
    while (at + 4 <= jpeg.size() && byte(at) == 0xFF) {
        const int marker = byte(at + 1);
        const qsizetype length = byte(at + 2) * 256 + byte(at + 3);
        if (marker == 0xDA) // the compressed data start; no table follows in a baseline file
            break;
        if (marker == 0xDB) {
            for (qsizetype table = at + 4; table < at + 2 + length && table < jpeg.size();) {
                const int precision = byte(table) >> 4;
                const int tableId = byte(table) & 0x0F;
                const int entrySize = precision == 0 ? 1 : 2;
                if (table + 1 + 64 * entrySize > jpeg.size())
                    return {};
                if (tableId == id) {
                    std::vector<int> entries(64);
                    for (int i = 0; i < 64; ++i)
                        entries[i] = entrySize == 1
                                         ? byte(table + 1 + i)
                                         : byte(table + 1 + 2 * i) * 256 + byte(table + 2 + 2 * i);
                    return entries;
                }
                table += 1 + 64 * entrySize;
            }
        }
        at += 2 + length;
    }
    return {};
}

bool near(const Rgb& a, const Rgb& b, int tolerance) {
    for (int i = 0; i < 3; ++i)
        if (std::abs(a[i] - b[i]) > tolerance)
            return false;
    return true;
}

} // namespace testsupport
