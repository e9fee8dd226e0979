#include "platform/picture/jpegheader.h"

#include "platform/picture/exiforientation.h"

#include <cstring>

namespace platform {

namespace {

constexpr int SOI = 0xD8, EOI = 0xD9, SOS = 0xDA, APP1 = 0xE1, APP14 = 0xEE, TEM = 0x01;

bool isFrameMarker(int marker) {
    // 0xC4 (Huffman tables), 0xC8 (reserved) and 0xCC (arithmetic conditioning) are not frames.
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool isStandalone(int marker) {
    return marker == TEM || (marker >= 0xD0 && marker <= 0xD7);
}

bool startsWith(std::span<const std::uint8_t> data, const char* prefix, std::size_t length) {
    return data.size() >= length && std::memcmp(data.data(), prefix, length) == 0;
}

} // namespace

bool JpegHeader::decodable() const {
    const bool supportedFrame = frameMarker == 0xC0 || frameMarker == 0xC1 || frameMarker == 0xC2 ||
                                frameMarker == 0xC9 || frameMarker == 0xCA;
    return supportedFrame && precision == 8 &&
           (components == 1 || components == 3 || components == 4) && width > 0 && height > 0;
}

bool looksLikeJpeg(std::span<const std::uint8_t> data) {
    return data.size() >= 2 && data[0] == 0xFF && data[1] == SOI;
}

std::optional<JpegHeader> readJpegHeader(std::span<const std::uint8_t> data) {
    if (!looksLikeJpeg(data))
        return std::nullopt;
    JpegHeader header;
    bool haveFrame = false;
    bool haveExif = false;
    std::size_t pos = 2;
    for (;;) {
        // The next marker: stray bytes up to an 0xFF, fill bytes, then a code other than 0.
        int marker = 0;
        while (marker == 0) {
            while (pos < data.size() && data[pos] != 0xFF)
                ++pos;
            while (pos < data.size() && data[pos] == 0xFF)
                ++pos;
            if (pos >= data.size())
                return std::nullopt;
            marker = data[pos++];
        }
        if (marker == SOS)
            return haveFrame ? std::optional(header) : std::nullopt;
        if (marker == SOI || marker == EOI)
            return std::nullopt;
        if (isStandalone(marker))
            continue;
        if (data.size() - pos < 2)
            return std::nullopt;
        const std::size_t length = std::size_t{data[pos]} << 8 | data[pos + 1];
        if (length < 2 || data.size() - pos < length)
            return std::nullopt;
        const auto payload = data.subspan(pos + 2, length - 2);
        pos += length;

        if (isFrameMarker(marker)) {
            if (haveFrame || payload.size() < 6)
                return std::nullopt;
            haveFrame = true;
            header.frameMarker = marker;
            header.precision = payload[0];
            header.height = payload[1] << 8 | payload[2];
            header.width = payload[3] << 8 | payload[4];
            header.components = payload[5];
        } else if (marker == APP1 && !haveExif && startsWith(payload, "Exif\0\0", 6)) {
            haveExif = true;
            header.orientation = exifOrientation(payload.subspan(6));
        } else if (marker == APP14 && payload.size() >= 12 && startsWith(payload, "Adobe", 5)) {
            header.adobe = true;
        }
    }
}

} // namespace platform
