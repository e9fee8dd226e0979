#pragma once

#include "platform/picture/decodetarget.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <cstdint>
#include <span>
#include <vector>

namespace testsupport {

// A decoder's target in plain memory (bottom-up, padded rows), so that decoders can be tested
// without the drawing layer. It starts zeroed like a fresh bitmap, or, for a decoder that promises
// to write every pixel, with every byte of the pixels kUnwritten (the padding zero all the same).
class MemoryPicture {
public:
    static constexpr std::uint8_t kUnwritten = 0xA7;

    platform::TargetAllocator allocator();
    int allocations() const { return allocations_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // The pixel at (x, y) counted from the top-left corner.
    QRgb pixel(int x, int y) const;
    // Whether every row's padding bytes are still zero.
    bool paddingUntouched() const;

private:
    std::vector<std::uint8_t> bits_;
    int width_ = 0;
    int height_ = 0;
    std::size_t stride_ = 0;
    int allocations_ = 0;
};

inline std::span<const std::uint8_t> bytesOf(const QByteArray& data) {
    return {reinterpret_cast<const std::uint8_t*>(data.constData()),
            static_cast<std::size_t>(data.size())};
}

// Eight colours that every bit depth holds exactly: black, red, green, blue, yellow, magenta,
// cyan, white.
QRgb sampleColour(int index);
// A 7 x 5 pattern of colour indices that no mirroring or turning maps onto itself (also when only
// the lowest one or two bits of each index are kept).
constexpr int SampleWidth = 7;
constexpr int SampleHeight = 5;
int sampleIndex(int x, int y);
// The pattern's indices, row by row from the top.
std::vector<int> sampleIndices();
// The pattern in `colours` colours (2, 4 or 8): index sampleIndex(x, y) % colours.
QImage samplePicture(int colours = 8);

// A picture of four coloured quarters: red top-left, green top-right, blue bottom-left, white
// bottom-right — large blocks that survive lossy coding.
QImage quarteredPicture(int width, int height);
// Checks the four quarters of a decoded picture, a few pixels inside each corner.
bool hasQuarters(const MemoryPicture& picture, int tolerance);
bool near(QRgb a, QRgb b, int tolerance);

// A file of tests/data, by its path below that folder (empty when it is missing).
QByteArray testData(const QString& name);

// A picture file's bytes as Qt writes them.
QByteArray encoded(const QImage& image, const char* format, int quality = -1);

// Qt writes neither GIF nor TGA: these write them by hand.
// A GIF of one or more frames (colour indices into the eight sample colours, row by row), the
// given index transparent (-1: none).
QByteArray gifFile(int width, int height, const std::vector<std::vector<int>>& frames,
                   int transparent = -1);

// How tgaFile lays a picture out; by default as ImageMagick does: 24 bits, uncompressed, rows
// from the bottom, no footer.
struct TgaLayout {
    int type = 2;      // 1 colour-mapped (the picture's colours in order of appearance), 2 true
                       // colour, 3 grey (the red samples)
    int bits = 24;     // bits a pixel (colour-mapped: an index of 8 or 16 bits)
    int mapBits = 24;  // bits a colour-map entry
    int alphaBits = 0; // declared in the header; the values are the picture's alpha
    bool runLength = false; // packets run on across rows
    bool topDown = false;
    bool rightToLeft = false;
    bool footer = false;   // the footer of version 2
    int alphaMeaning = -1; // with the footer, an extension area saying this of the alpha (4:
                           // premultiplied, and so are the colours written)
    int idLength = 0;      // bytes of image ID
    int mapFirst = 0;      // the index of the colour map's first entry
};
QByteArray tgaFile(const QImage& image, const TgaLayout& layout = {});

// A JPEG stream with an EXIF block carrying this orientation, placed right after its start marker.
QByteArray withExifOrientation(const QByteArray& jpeg, int orientation, bool bigEndian = false);

// What a viewer shows for a stored picture with this EXIF orientation, and the stored picture
// that shows as `upright` (built from Qt's own mirroring and turning).
QImage shownWithOrientation(const QImage& stored, int orientation);
QImage storedForOrientation(const QImage& upright, int orientation);

} // namespace testsupport
