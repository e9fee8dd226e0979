#pragma once

#include "support/picturesamples.h"

#include <QByteArray>
#include <QColorSpace>
#include <QImage>

namespace testsupport {

// The CIEDE2000 difference between two sRGB colours.
double deltaE2000(QRgb a, QRgb b);

// Eight flat 16 x 16 patches in a 64 x 32 sRGB picture: strong colours that a press still prints,
// skin and sky. Read as sRGB, their Display P3 values are 3 CIEDE2000 off on average.
QImage colourPatches();
// The mean CIEDE2000 difference between the middles of the patches in a decoded picture and in
// the picture it should show.
double patchesDeltaE(const MemoryPicture& decoded, const QImage& expected = colourPatches());

// The picture's colours converted into `space` by Qt, in `format`, and tagged with it.
QImage convertedTo(const QImage& srgb, QColorSpace::NamedColorSpace space,
                   QImage::Format format = QImage::Format_RGB32);
// The picture's colours converted by LittleCMS into a profile's device values, untagged: RGB into
// Format_RGB888, grey into Format_Grayscale8; CMYK into inverted (Adobe) ink bytes.
QImage convertedTo(const QImage& srgb, const QByteArray& profile, QImage::Format format);
QByteArray cmykConvertedTo(const QImage& srgb, const QByteArray& profile);

// Profiles for the tests: a file of Debian's icc-profiles-free, a grey profile of a gamma, and a
// table-based (A2B0, lut16) RGB profile of Display P3.
QByteArray iccProfileFile(const char* name);
QByteArray greyProfile(double gamma);
QByteArray tableDisplayP3Profile();

// JPEG streams: one with an ICC profile in APP2 segments of at most `partBytes` of it each, put
// in reversed order when asked; one whose EXIF block marks Adobe RGB without a profile; and a
// 4:4:4 CMYK one from inverted ink bytes, with Adobe's marker.
QByteArray withIccProfile(const QByteArray& jpeg, const QByteArray& icc, int partBytes = 60000,
                          bool reversed = false);
QByteArray withExifAdobeRgb(const QByteArray& jpeg);
QByteArray cmykJpeg(const QByteArray& inverted, int width, int height);

} // namespace testsupport
