#include "picturesamples.h"

#include "files.h"

#include <QBuffer>
#include <QImageWriter>
#include <QTransform>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <numeric>

namespace testsupport {

platform::TargetAllocator MemoryPicture::allocator() {
    return [this](int width, int height, platform::TargetPixels pixels) {
        ++allocations_;
        width_ = width;
        height_ = height;
        stride_ = platform::bgrStride(width);
        bits_.assign(stride_ * static_cast<std::size_t>(height), 0);
        // A decoder that promises to write every pixel gets a target full of a colour it never
        // writes by chance, so that a pixel it leaves out shows.
        if (pixels == platform::TargetPixels::Overwritten)
            for (int y = 0; y < height; ++y)
                std::fill_n(bits_.begin() + static_cast<std::ptrdiff_t>(stride_ * y),
                            static_cast<std::ptrdiff_t>(width) * 3, kUnwritten);
        return platform::DecodeTarget{bits_.data(), width, height, stride_};
    };
}

QRgb MemoryPicture::pixel(int x, int y) const {
    const std::uint8_t* p = bits_.data() + static_cast<std::size_t>(height_ - 1 - y) * stride_ +
                            static_cast<std::size_t>(x) * 3;
    return qRgb(p[2], p[1], p[0]);
}

bool MemoryPicture::paddingUntouched() const {
    for (int y = 0; y < height_; ++y)
        for (std::size_t b = static_cast<std::size_t>(width_) * 3; b < stride_; ++b)
            if (bits_[static_cast<std::size_t>(y) * stride_ + b] != 0)
                return false;
    return true;
}

QRgb sampleColour(int index) {
    static constexpr std::array<QRgb, 8> colours = {
        0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF,
        0xFFFFFF00, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF,
    };
    return colours.at(static_cast<std::size_t>(index));
}

int sampleIndex(int x, int y) {
    static constexpr int pattern[SampleHeight][SampleWidth] = {
        {1, 0, 0, 2, 3, 5, 7}, {4, 6, 1, 7, 2, 0, 5}, {3, 3, 6, 5, 1, 4, 0},
        {7, 2, 5, 0, 6, 1, 4}, {6, 7, 4, 1, 0, 2, 3},
    };
    return pattern[y][x];
}

std::vector<int> sampleIndices() {
    std::vector<int> indices;
    for (int y = 0; y < SampleHeight; ++y)
        for (int x = 0; x < SampleWidth; ++x)
            indices.push_back(sampleIndex(x, y));
    return indices;
}

QImage samplePicture(int colours) {
    QImage image(SampleWidth, SampleHeight, QImage::Format_RGB32);
    for (int y = 0; y < SampleHeight; ++y)
        for (int x = 0; x < SampleWidth; ++x)
            image.setPixel(x, y, sampleColour(sampleIndex(x, y) % colours));
    return image;
}

QImage quarteredPicture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2;
            const bool bottom = y >= height / 2;
            image.setPixel(x, y,
                           bottom ? (right ? 0xFFFFFFFF : 0xFF0000FF)
                                  : (right ? 0xFF00FF00 : 0xFFFF0000));
        }
    return image;
}

bool near(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

bool hasQuarters(const MemoryPicture& picture, int tolerance) {
    const int right = picture.width() - 3;
    const int bottom = picture.height() - 3;
    return near(picture.pixel(2, 2), 0xFFFF0000, tolerance) &&
           near(picture.pixel(right, 2), 0xFF00FF00, tolerance) &&
           near(picture.pixel(2, bottom), 0xFF0000FF, tolerance) &&
           near(picture.pixel(right, bottom), 0xFFFFFFFF, tolerance);
}

QByteArray testData(const QString& name) {
    return contentsOf(qEnvironmentVariable("KALMORA_SOURCE_DIR") + QStringLiteral("/tests/data/") +
                      name);
}

QByteArray encoded(const QImage& image, const char* format, int quality) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0)
        writer.setQuality(quality);
    if (!writer.write(image))
        qFatal("cannot write a %s picture: %s", format, qPrintable(writer.errorString()));
    return data;
}

namespace {

void putU16(QByteArray& out, int v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8 & 0xFF);
}

// LZW data that never lets the code width grow: a clear code before every few literal codes.
QByteArray lzwLiterals(const std::vector<int>& indices) {
    constexpr int MinCodeSize = 3, Clear = 8, End = 9, Width = 4;
    QByteArray packed;
    std::uint32_t bits = 0;
    int used = 0;
    const auto put = [&](int code) {
        bits |= static_cast<std::uint32_t>(code) << used;
        used += Width;
        while (used >= 8) {
            packed += static_cast<char>(bits & 0xFF);
            bits >>= 8;
            used -= 8;
        }
    };
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (i % 4 == 0)
            put(Clear);
        put(indices[i]);
    }
    put(End);
    if (used > 0)
        packed += static_cast<char>(bits & 0xFF);
    QByteArray out(1, static_cast<char>(MinCodeSize));
    for (qsizetype at = 0; at < packed.size(); at += 255) {
        const QByteArray block = packed.mid(at, 255);
        out += static_cast<char>(block.size());
        out += block;
    }
    out += '\0';
    return out;
}

} // namespace

QByteArray gifFile(int width, int height, const std::vector<std::vector<int>>& frames,
                   int transparent) {
    QByteArray out("GIF89a");
    putU16(out, width);
    putU16(out, height);
    out += static_cast<char>(0xF2); // a global table of 8 colours
    out += '\0';
    out += '\0';
    for (int i = 0; i < 8; ++i) {
        out += static_cast<char>(qRed(sampleColour(i)));
        out += static_cast<char>(qGreen(sampleColour(i)));
        out += static_cast<char>(qBlue(sampleColour(i)));
    }
    for (const auto& frame : frames) {
        out += QByteArray("\x21\xF9\x04", 3);
        out += static_cast<char>(transparent >= 0 ? 0x05 : 0x04); // keep the frame; transparency
        putU16(out, 10);
        out += static_cast<char>(transparent >= 0 ? transparent : 0);
        out += '\0';
        out += '\x2C';
        putU16(out, 0);
        putU16(out, 0);
        putU16(out, width);
        putU16(out, height);
        out += '\0';
        out += lzwLiterals(frame);
    }
    out += '\x3B';
    return out;
}

namespace {

// A 15-, 16-, 24- or 32-bit TGA pixel or colour-map entry (16: the top bit for alpha).
QByteArray tgaColour(QRgb c, int bits) {
    QByteArray out;
    if (bits <= 16)
        putU16(out, (bits == 16 && qAlpha(c) >= 128 ? 0x8000 : 0) | (qRed(c) >> 3) << 10 |
                        (qGreen(c) >> 3) << 5 | qBlue(c) >> 3);
    else
        out = QByteArray{} + char(qBlue(c)) + char(qGreen(c)) + char(qRed(c)) + char(qAlpha(c));
    return out.left(bits == 24 ? 3 : 4);
}

// Runs of equal pixels as run packets, the pixels between them as raw packets, at most 128 each.
QByteArray runLengthCoded(const std::vector<QByteArray>& pixels) {
    const auto same = [&](std::size_t i) {
        return i + 1 < pixels.size() && pixels[i + 1] == pixels[i];
    };
    QByteArray out;
    for (std::size_t at = 0, n = 1; at < pixels.size(); at += n, n = 1) {
        const bool run = same(at);
        while (at + n < pixels.size() && n < 128 && (run ? same(at + n - 1) : !same(at + n)))
            ++n;
        out += static_cast<char>((run ? 0x80 : 0) | (n - 1));
        for (std::size_t i = 0; i < (run ? 1 : n); ++i)
            out += pixels[at + i];
    }
    return out;
}

} // namespace

QByteArray tgaFile(const QImage& image, const TgaLayout& layout) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    std::vector<QRgb> palette;
    std::vector<QByteArray> pixels;
    for (int row = 0; row < argb.height(); ++row)
        for (int column = 0; column < argb.width(); ++column) {
            QRgb c = argb.pixel(layout.rightToLeft ? argb.width() - 1 - column : column,
                                layout.topDown ? row : argb.height() - 1 - row);
            c = layout.alphaMeaning == 4 ? qPremultiply(c) : c;
            QByteArray pixel;
            if (layout.type == 1) {
                auto found = std::find(palette.begin(), palette.end(), c);
                if (found == palette.end())
                    found = palette.insert(palette.end(), c);
                putU16(pixel, layout.mapFirst + static_cast<int>(found - palette.begin()));
            } else if (layout.type == 3) {
                pixel = QByteArray{} + char(qRed(c)) + char(qAlpha(c));
            } else {
                pixel = tgaColour(c, layout.bits);
            }
            pixels.push_back(pixel.left((layout.bits + 7) / 8));
        }
    QByteArray out(1, static_cast<char>(layout.idLength));
    out += static_cast<char>(layout.type == 1 ? 1 : 0);
    out += static_cast<char>(layout.type + (layout.runLength ? 8 : 0));
    putU16(out, layout.type == 1 ? layout.mapFirst : 0);
    putU16(out, static_cast<int>(palette.size()));
    out += static_cast<char>(layout.type == 1 ? layout.mapBits : 0);
    out += QByteArray(4, '\0'); // where the picture lies on a screen: ignored
    putU16(out, argb.width());
    putU16(out, argb.height());
    out += static_cast<char>(layout.bits);
    out += static_cast<char>(layout.alphaBits | (layout.rightToLeft ? 16 : 0) |
                             (layout.topDown ? 32 : 0));
    out += QByteArray(layout.idLength, 'K');
    for (const QRgb c : palette)
        out += tgaColour(c, layout.mapBits);
    out += layout.runLength ? runLengthCoded(pixels)
                            : std::accumulate(pixels.begin(), pixels.end(), QByteArray{});
    if (!layout.footer)
        return out;
    QByteArray area; // the extension area: its size (495), what the alpha means
    QByteArray footer;
    if (layout.alphaMeaning >= 0) {
        area = QByteArray("\xEF\x01", 2) + QByteArray(492, '\0') + char(layout.alphaMeaning);
        putU16(footer, static_cast<int>(out.size()));
    }
    return out + area + footer.leftJustified(8, '\0') + QByteArray("TRUEVISION-XFILE.", 18);
}

QByteArray withExifOrientation(const QByteArray& jpeg, int orientation, bool bigEndian) {
    const auto u16 = [&](int v) {
        const char hi = static_cast<char>(v >> 8 & 0xFF), lo = static_cast<char>(v & 0xFF);
        return bigEndian ? QByteArray{} + hi + lo : QByteArray{} + lo + hi;
    };
    const auto u32 = [&](int v) {
        return bigEndian ? u16(v >> 16 & 0xFFFF) + u16(v & 0xFFFF)
                         : u16(v & 0xFFFF) + u16(v >> 16 & 0xFFFF);
    };
    QByteArray tiff = bigEndian ? QByteArray("MM") : QByteArray("II");
    tiff += u16(42) + u32(8); // header, first directory at 8
    tiff += u16(1);           // one entry
    tiff += u16(0x0112) + u16(3) + u32(1) + u16(orientation) + u16(0);
    tiff += u32(0); // no next directory
    const QByteArray payload = QByteArray("Exif", 4) + QByteArray(2, '\0') + tiff;
    const int length = static_cast<int>(payload.size()) + 2;
    QByteArray segment("\xFF\xE1", 2);
    segment += static_cast<char>(length >> 8);
    segment += static_cast<char>(length & 0xFF);
    segment += payload;
    return jpeg.left(2) + segment + jpeg.mid(2);
}

QImage shownWithOrientation(const QImage& stored, int orientation) {
    const QImage turned = stored.transformed(QTransform().rotate(90));
    switch (orientation) {
    case 2:
        return stored.mirrored(true, false);
    case 3:
        return stored.mirrored(true, true);
    case 4:
        return stored.mirrored(false, true);
    case 5:
        return turned.mirrored(true, false);
    case 6:
        return turned;
    case 7:
        return turned.mirrored(false, true);
    case 8:
        return stored.transformed(QTransform().rotate(270));
    default:
        return stored;
    }
}

QImage storedForOrientation(const QImage& upright, int orientation) {
    // Every orientation undoes itself except the two quarter turns, which undo each other.
    const int inverse = orientation == 6 ? 8 : orientation == 8 ? 6 : orientation;
    return shownWithOrientation(upright, inverse);
}

} // namespace testsupport
