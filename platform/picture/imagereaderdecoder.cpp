#include "platform/picture/imagereaderdecoder.h"

#include "platform/colour/colourtransform.h"
#include "platform/errors/runtimeerror.h"

#include <QBuffer>
#include <QByteArray>
#include <QColorSpace>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <mutex>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

namespace platform {

namespace {

// Qt's own allocation bound (128 MB by default) would refuse a genuine 40-megapixel TIFF; ours is
// counted in pixels, so Qt's is raised to what the largest picture we accept can take in its
// widest format (8 bytes a pixel).
constexpr int ReaderAllocationLimitMB = static_cast<int>(MaxPicturePixels * 8 / (1024 * 1024));

void writeOpaque(const QImage& image, const DecodeTarget& target) {
    for (int y = 0; y < image.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        std::uint8_t* out = target.row(y);
        for (int x = 0; x < image.width(); ++x, out += 3) {
            out[0] = static_cast<std::uint8_t>(qBlue(in[x]));
            out[1] = static_cast<std::uint8_t>(qGreen(in[x]));
            out[2] = static_cast<std::uint8_t>(qRed(in[x]));
        }
    }
}

// Premultiplied colours over white: colour + (255 - alpha).
void writeOverWhite(const QImage& image, const DecodeTarget& target) {
    for (int y = 0; y < image.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        std::uint8_t* out = target.row(y);
        for (int x = 0; x < image.width(); ++x, out += 3) {
            const int clear = 255 - qAlpha(in[x]);
            out[0] = static_cast<std::uint8_t>(qBlue(in[x]) + clear);
            out[1] = static_cast<std::uint8_t>(qGreen(in[x]) + clear);
            out[2] = static_cast<std::uint8_t>(qRed(in[x]) + clear);
        }
    }
}

// 16-bit colours (premultiplied, or opaque) over white, through the picture's colour transform:
// its 16 bits come at no cost here, as the reader hands them over anyway.
void writeDeep(const QImage& image, const DecodeTarget& target, const ColourTransform& colour) {
    std::vector<std::uint16_t> row(static_cast<std::size_t>(image.width()) * 3);
    for (int y = 0; y < image.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgba64*>(image.constScanLine(y));
        for (std::size_t x = 0; x < row.size() / 3; ++x) {
            const int clear = 65535 - in[x].alpha();
            row[3 * x] = static_cast<std::uint16_t>(in[x].red() + clear);
            row[3 * x + 1] = static_cast<std::uint16_t>(in[x].green() + clear);
            row[3 * x + 2] = static_cast<std::uint16_t>(in[x].blue() + clear);
        }
        colour.convertRow(row.data(), target.row(y), image.width());
    }
}

// The transform for the profile Qt's reader found in the file, if it needs one.
std::optional<ColourTransform> colourOf(const QImage& image, SourcePixels source) {
    const QByteArray icc = image.colorSpace().iccProfile();
    if (icc.isEmpty())
        return std::nullopt;
    ColourDescription colour;
    colour.icc.assign(icc.begin(), icc.end());
    return ColourTransform::toSrgb(colour, source);
}

// Qt's name of the reader for a format read through Qt.
const char* readerName(PictureFormat format) {
    switch (format) {
    case PictureFormat::Gif:
        return "gif";
    case PictureFormat::Tiff:
        return "tiff";
    case PictureFormat::WebP:
        return "webp";
    case PictureFormat::Ico:
        return "ico";
    case PictureFormat::Pnm:
        return "ppm"; // the same reader as "pbm" and "pgm": it reads all six kinds
    default:
        raise(ErrInvalidPicture);
    }
}

QImage read(std::span<const std::uint8_t> data, PictureFormat format,
            const TargetAllocator& allocate) {
    const char* name = readerName(format);
    prepareImageReaders();
    QBuffer device;
    device.setData(QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()),
                                           static_cast<qsizetype>(data.size())));
    device.open(QIODevice::ReadOnly);
    QImageReader reader(&device, name);
    // Only the reader asked for: Qt would otherwise hand data that reader refuses to whichever
    // plugin claims it.
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(true);
    if (!reader.canRead())
        throw RuntimeError(ErrInvalidPicture, reader.errorString());
    // Refuse a huge claimed size before the reader takes memory for it.
    if (const QSize size = reader.size(); size.isValid()) {
        checkPictureSize(size.width(), size.height(), data.size());
        // The reader's picture (up to 8 bytes a pixel) and its conversion beside the bitmap.
        const std::int64_t pixels = std::int64_t{size.width()} * size.height();
        allocate.expect(bitmapBytes(size.width(), size.height()) +
                        static_cast<std::size_t>(pixels) * 16);
    }
    QImage image = reader.read();
    if (image.isNull())
        throw RuntimeError(ErrInvalidPicture, reader.errorString());
    return image;
}

bool startsWith(std::span<const std::uint8_t> data, std::size_t at, std::string_view bytes) {
    return at <= data.size() && data.size() - at >= bytes.size() &&
           std::equal(bytes.begin(), bytes.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                      [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

std::uint32_t le16(std::span<const std::uint8_t> data, std::size_t at) {
    return data[at] | data[at + 1] << 8;
}

std::uint32_t le32(std::span<const std::uint8_t> data, std::size_t at) {
    return le16(data, at) | le16(data, at + 2) << 16;
}

// ICO's own mark (00 00 01 00) is weak, and a few other files begin with it; the directory and
// the first picture must fit too.
bool looksLikeIco(std::span<const std::uint8_t> head) {
    constexpr std::size_t EntrySize = 16;
    if (head.size() < 6 + EntrySize || le16(head, 0) != 0 || le16(head, 2) != 1 ||
        le16(head, 4) == 0)
        return false;
    const std::size_t count = le16(head, 4);
    const std::size_t directoryEnd = 6 + count * EntrySize;
    for (std::size_t entry = 6; entry < directoryEnd && entry + EntrySize <= head.size();
         entry += EntrySize) {
        const std::uint32_t planes = le16(head, entry + 4);
        const std::uint32_t bits = le16(head, entry + 6);
        const bool knownBits = bits == 0 || bits == 1 || bits == 4 || bits == 8 || bits == 16 ||
                               bits == 24 || bits == 32;
        if (planes > 1 || !knownBits || le32(head, entry + 8) == 0 ||
            le32(head, entry + 12) < directoryEnd)
            return false;
    }
    const std::size_t first = le32(head, 6 + 12);
    return startsWith(head, first, "\x89PNG\r\n\x1A\n") ||
           (startsWith(head, first, std::string_view("\x28\0\0\0", 4)) &&
            startsWith(head, first + 12, std::string_view("\x01\0", 2)));
}

bool isPnmSpace(std::uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// "P1" to "P6", then the width, the height and (but for bitmaps) the largest sample value, each
// after white space or comments, and one white space character.
bool looksLikePnm(std::span<const std::uint8_t> head) {
    if (head.size() < 3 || head[0] != 'P' || head[1] < '1' || head[1] > '6')
        return false;
    const bool bitmap = head[1] == '1' || head[1] == '4';
    std::size_t at = 2;
    for (int field = 0; field < (bitmap ? 2 : 3); ++field) {
        const std::size_t before = at;
        while (at < head.size() && (isPnmSpace(head[at]) || head[at] == '#')) {
            if (head[at] == '#')
                while (at < head.size() && head[at] != '\n' && head[at] != '\r')
                    ++at;
            else
                ++at;
        }
        const bool separated = at != before;
        std::uint32_t value = 0;
        std::size_t digits = 0;
        for (; at < head.size() && head[at] >= '0' && head[at] <= '9'; ++at, ++digits)
            value = digits < 8 ? value * 10 + (head[at] - '0') : value;
        const std::uint32_t largest = field == 2 ? 65535 : 9999999;
        if (!separated || digits == 0 || digits > 7 || value == 0 || value > largest)
            return false;
    }
    return at < head.size() && isPnmSpace(head[at]);
}

} // namespace

void prepareImageReaders() {
    // The bound is the process's: set once, and only read while readers run on several threads.
    static std::once_flag once;
    std::call_once(once, [] { QImageReader::setAllocationLimit(ReaderAllocationLimitMB); });
}

PictureFormat imageReaderFormat(std::span<const std::uint8_t> head) {
    if (startsWith(head, 0, "GIF87a") || startsWith(head, 0, "GIF89a"))
        return PictureFormat::Gif;
    if (startsWith(head, 0, std::string_view("II*\0", 4)) ||
        startsWith(head, 0, std::string_view("MM\0*", 4)))
        return PictureFormat::Tiff;
    if (startsWith(head, 0, "RIFF") && startsWith(head, 8, "WEBP") &&
        (startsWith(head, 12, "VP8 ") || startsWith(head, 12, "VP8L") ||
         startsWith(head, 12, "VP8X")))
        return PictureFormat::WebP;
    if (looksLikeIco(head))
        return PictureFormat::Ico;
    if (looksLikePnm(head))
        return PictureFormat::Pnm;
    return PictureFormat::None;
}

void decodeWithImageReader(std::span<const std::uint8_t> data, PictureFormat format,
                           const TargetAllocator& allocate) {
    QImage image;
    std::optional<ColourTransform> colour;
    bool deep = false; // 16 bits a channel, converted through the picture's profile
    try {
        image = read(data, format, allocate);
        // Readers may give a frame larger than they announced.
        checkPictureSize(image.width(), image.height(), data.size());
        const bool transparent = image.hasAlphaChannel();
        if (image.depth() == 64)
            colour = colourOf(image, SourcePixels::Rgb16);
        deep = colour.has_value();
        if (!deep)
            colour = colourOf(image, SourcePixels::Bgr8);
        if (deep)
            image.convertTo(transparent ? QImage::Format_RGBA64_Premultiplied
                                        : QImage::Format_RGBX64);
        else
            image.convertTo(transparent ? QImage::Format_ARGB32_Premultiplied
                                        : QImage::Format_RGB32);
        if (image.isNull())
            raise(ErrOutOfMemory);
    } catch (const std::bad_alloc&) {
        raise(ErrOutOfMemory);
    }
    const DecodeTarget target = allocate(image.width(), image.height(), TargetPixels::Zeroed);
    if (deep) {
        writeDeep(image, target, *colour);
        return;
    }
    if (image.format() == QImage::Format_ARGB32_Premultiplied)
        writeOverWhite(image, target);
    else
        writeOpaque(image, target);
    if (colour)
        convertTarget(target, *colour);
}

} // namespace platform
