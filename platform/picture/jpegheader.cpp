#include "platform/picture/jpegheader.h"

#include "platform/picture/exifcolourspace.h"
#include "platform/picture/exiforientation.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace platform {

namespace {

constexpr int SOI = 0xD8, EOI = 0xD9, SOS = 0xDA, APP1 = 0xE1, APP2 = 0xE2, APP14 = 0xEE,
              TEM = 0x01;

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

// One APP2 segment's part of an ICC profile: its number (from 1) and the number of parts.
struct IccPart {
    int number;
    int count;
    std::span<const std::uint8_t> bytes;
};

// The parts joined in the order of their numbers, or nothing when they do not make one profile.
std::vector<std::uint8_t> joinedProfile(std::vector<IccPart>& parts) {
    std::sort(parts.begin(), parts.end(),
              [](const auto& a, const auto& b) { return a.number < b.number; });
    std::vector<std::uint8_t> profile;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].number != static_cast<int>(i + 1) ||
            parts[i].count != static_cast<int>(parts.size()))
            return {};
        profile.insert(profile.end(), parts[i].bytes.begin(), parts[i].bytes.end());
    }
    return profile;
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
    std::vector<IccPart> iccParts;
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
        if (marker == SOS) {
            if (!haveFrame)
                return std::nullopt;
            header.colour.icc = joinedProfile(iccParts);
            return header;
        }
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
            header.colour.exifAdobeRgb = exifMarksAdobeRgb(payload.subspan(6));
        } else if (marker == APP2 && payload.size() >= 14 &&
                   startsWith(payload, "ICC_PROFILE", 12)) {
            iccParts.push_back({payload[12], payload[13], payload.subspan(14)});
        } else if (marker == APP14 && payload.size() >= 12 && startsWith(payload, "Adobe", 5)) {
            header.adobe = true;
        }
    }
}

} // namespace platform
