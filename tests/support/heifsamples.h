#pragma once

#include <QByteArray>
#include <QImage>

namespace testsupport {

// How libheif's encoders are to write a picture.
struct HeifLayout {
    bool avif = false;    // AV1 (aom, 8 bits only on this system) instead of HEVC (x265)
    int bits = 8;         // 8, 10 or 12: the picture's 16-bit samples keep their top bits
    int orientation = 1;  // an EXIF orientation, written as turning and mirroring boxes
    bool gridCrop = true; // crop odd sizes with a one-tile grid (libheif's default), not clap
    QByteArray icc{};     // a profile for the colr box
    int primaries = 0;    // with a transfer: an nclx colr box (0: none)
    int transfer = 0;
};

// The picture (with its alpha, if any) as a HEIF file.
QByteArray heifFile(const QImage& image, const HeifLayout& layout = {});

// The picture as a grid HEIC, as phones write them: cut into columns x rows tiles of equal size
// (the picture's size must divide), each coded on its own, the boxes around them written here.
// The grid's descriptor and its ispe box may claim other sizes than the picture's.
QByteArray heifGridFile(const QImage& image, int columns, int rows, QSize described = {},
                        QSize claimed = {});

} // namespace testsupport
