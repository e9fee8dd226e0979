#include "support/colourpatches.h"

#include <QFile>
#include <lcms2.h>

namespace testsupport {

double deltaE2000(QRgb a, QRgb b) {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab =
        cmsCreateTransform(srgb, TYPE_BGRA_8, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    const QRgb colours[2] = {a, b};
    cmsCIELab labs[2];
    cmsDoTransform(toLab, colours, labs, 2);
    cmsDeleteTransform(toLab);
    cmsCloseProfile(lab);
    cmsCloseProfile(srgb);
    return cmsCIE2000DeltaE(&labs[0], &labs[1], 1, 1, 1);
}

QImage colourPatches() {
    static constexpr QRgb colours[8] = {0xDC1E28, 0xEB8223, 0xF0D228, 0x28A050,
                                        0x0096B4, 0x9B2D82, 0xE2B296, 0x78A0D7};
    QImage image(64, 32, QImage::Format_RGB32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
            image.setPixel(x, y, colours[y / 16 * 4 + x / 16] | 0xFF000000);
    return image;
}

double patchesDeltaE(const MemoryPicture& decoded, const QImage& expected) {
    double sum = 0;
    for (int patch = 0; patch < 8; ++patch) {
        const int x = patch % 4 * 16 + 8, y = patch / 4 * 16 + 8;
        sum += deltaE2000(decoded.pixel(x, y), expected.pixel(x, y));
    }
    return sum / 8;
}

QImage convertedTo(const QImage& srgb, QColorSpace::NamedColorSpace space, QImage::Format format) {
    QImage image = srgb.convertToFormat(format);
    image.setColorSpace(QColorSpace::SRgb);
    image.convertToColorSpace(space);
    return image;
}

QByteArray iccProfileFile(const char* name) {
    QFile file(QStringLiteral("/usr/share/color/icc/") + QString::fromLatin1(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing profile %s (Debian package icc-profiles-free)", name);
    return file.readAll();
}

QByteArray withIccProfile(const QByteArray& jpeg, const QByteArray& icc, int partBytes,
                          bool reversed) {
    const auto count = static_cast<int>((icc.size() + partBytes - 1) / partBytes);
    QByteArray segments;
    for (int part = 0; part < count; ++part) {
        const QByteArray bytes = icc.mid(static_cast<qsizetype>(part) * partBytes, partBytes);
        const auto length = static_cast<int>(bytes.size()) + 16;
        const QByteArray segment = QByteArray("\xFF\xE2", 2) + static_cast<char>(length >> 8) +
                                   static_cast<char>(length & 0xFF) +
                                   QByteArray("ICC_PROFILE", 12) + static_cast<char>(part + 1) +
                                   static_cast<char>(count) + bytes;
        segments = reversed ? segment + segments : segments + segment;
    }
    return jpeg.left(2) + segments + jpeg.mid(2);
}

} // namespace testsupport
