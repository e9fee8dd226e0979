#include "platform/picture/imagereaderdecoder.h"

#include "platform/colour/colourtransform.h"
#include "platform/errors/runtimeerror.h"

#include <QBuffer>
#include <QByteArray>
#include <QColorSpace>
#include <QImage>
#include <QImageReader>
#include <new>
#include <optional>
#include <vector>

namespace platform {

namespace {

// Qt's own allocation bound (128 MB by default) would refuse a genuine 40-megapixel PNG; ours is
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

// Reads with the reader for `format`, or the one the content names when it is empty.
QImage readAs(QIODevice& device, const QByteArray& format, std::size_t fileBytes, QString& error) {
    device.seek(0);
    QImageReader reader(&device, format);
    reader.setAutoTransform(true);
    if (!reader.canRead()) {
        error = reader.errorString();
        return {};
    }
    // Refuse a huge claimed size before the reader takes memory for it.
    if (const QSize size = reader.size(); size.isValid())
        checkPictureSize(size.width(), size.height(), fileBytes);
    QImage image = reader.read();
    if (image.isNull())
        error = reader.errorString();
    return image;
}

// A header a TGA file could have: a known image type with a pixel depth it allows, a colour map
// where the type needs one, and a size.
bool couldBeTga(std::span<const std::uint8_t> data) {
    if (data.size() < 18 || data[1] > 1)
        return false;
    const int type = data[2] & ~8; // the run-length coded types are the plain ones + 8
    const int depth = data[16];
    const bool sized = (data[12] | data[13]) != 0 && (data[14] | data[15]) != 0;
    switch (type) {
    case 1: // colour-mapped
        return sized && data[1] == 1 && (depth == 8 || depth == 16);
    case 2: // true colour
        return sized && (depth == 15 || depth == 16 || depth == 24 || depth == 32);
    case 3: // grey
        return sized && (depth == 8 || depth == 16);
    default:
        return false;
    }
}

QBuffer* openOver(QBuffer& device, std::span<const std::uint8_t> data) {
    device.setData(QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()),
                                           static_cast<qsizetype>(data.size())));
    device.open(QIODevice::ReadOnly);
    return &device;
}

QImage read(std::span<const std::uint8_t> data) {
    QImageReader::setAllocationLimit(ReaderAllocationLimitMB);
    QBuffer device;
    openOver(device, data);
    QString error;
    QImage image = readAs(device, {}, data.size(), error);
    // TGA has no signature: a TGA file whose header happens to look like a cursor's is handed to
    // the cursor reader, which fails. Such a file gets a second chance as what it is.
    if (image.isNull() && couldBeTga(data)) {
        QString ignored;
        image = readAs(device, "tga", data.size(), ignored);
    }
    if (image.isNull())
        throw RuntimeError(ErrInvalidPicture, error);
    return image;
}

} // namespace

bool imageReaderTakes(std::span<const std::uint8_t> head) {
    QBuffer device;
    return !QImageReader::imageFormat(openOver(device, head)).isEmpty() || couldBeTga(head);
}

void decodeWithImageReader(std::span<const std::uint8_t> data, const TargetAllocator& allocate) {
    QImage image;
    std::optional<ColourTransform> colour;
    bool deep = false; // 16 bits a channel, converted through the picture's profile
    try {
        image = read(data);
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
