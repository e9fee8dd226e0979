#pragma once

#include "support/picturesamples.h"

#include <QByteArray>
#include <QColorSpace>
#include <QImage>

namespace testsupport {

// The CIEDE2000 difference between two sRGB colours (LittleCMS's formula).
double deltaE2000(QRgb a, QRgb b);

// Eight flat 16 x 16 patches in a 64 x 32 sRGB picture: strong colours that a press still prints,
// skin and sky. Read as sRGB, their Display P3 values are 3 CIEDE2000 off on average.
QImage colourPatches();
// The mean CIEDE2000 difference of the patches' middles between a decoded picture and `expected`.
double patchesDeltaE(const MemoryPicture& decoded, const QImage& expected = colourPatches());

// The picture converted by Qt into `space`, in `format`, tagged with it.
QImage convertedTo(const QImage& srgb, QColorSpace::NamedColorSpace space,
                   QImage::Format format = QImage::Format_RGB32);

// A profile file of Debian's icc-profiles-free.
QByteArray iccProfileFile(const char* name);

// A JPEG stream with an ICC profile in APP2 segments of at most `partBytes` of it, in reversed
// order when asked.
QByteArray withIccProfile(const QByteArray& jpeg, const QByteArray& icc, int partBytes = 60000,
                          bool reversed = false);

} // namespace testsupport
