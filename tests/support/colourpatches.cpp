#include "support/colourpatches.h"

#include <QFile>
#include <cmath>
#include <lcms2.h>
#include <memory>
#include <numbers>
#include <turbojpeg.h>

namespace testsupport {

namespace {

struct Lab {
    double l, a, b;
};

Lab toLab(QRgb colour) {
    const auto linear = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    const double r = linear(qRed(colour)), g = linear(qGreen(colour)), b = linear(qBlue(colour));
    const auto f = [](double t) {
        return t > 216.0 / 24389 ? std::cbrt(t) : (24389.0 / 27 * t + 16) / 116;
    };
    const double x = f((0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / 0.95047);
    const double y = f(0.2126729 * r + 0.7151522 * g + 0.0721750 * b);
    const double z = f((0.0193339 * r + 0.1191920 * g + 0.9503041 * b) / 1.08883);
    return {116 * y - 16, 500 * (x - y), 200 * (y - z)};
}

using Profile = std::unique_ptr<void, decltype(&cmsCloseProfile)>;

Profile open(const QByteArray& icc) {
    return {cmsOpenProfileFromMem(icc.constData(), static_cast<cmsUInt32Number>(icc.size())),
            cmsCloseProfile};
}

QByteArray saved(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    QByteArray bytes(static_cast<qsizetype>(size), '\0');
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// Rows of the sRGB picture through LittleCMS into a profile's values, `bytes` per pixel.
QByteArray deviceValues(const QImage& srgb, const QByteArray& icc, cmsUInt32Number format,
                        int bytes) {
    const Profile source(cmsCreate_sRGBProfile(), cmsCloseProfile);
    const Profile target = open(icc);
    const std::unique_ptr<void, decltype(&cmsDeleteTransform)> transform(
        cmsCreateTransform(source.get(), TYPE_BGRA_8, target.get(), format,
                           INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_BLACKPOINTCOMPENSATION),
        cmsDeleteTransform);
    const QImage rgb = srgb.convertToFormat(QImage::Format_RGB32);
    QByteArray values(static_cast<qsizetype>(rgb.width()) * rgb.height() * bytes, '\0');
    for (int y = 0; y < rgb.height(); ++y)
        cmsDoTransform(transform.get(), rgb.constScanLine(y),
                       values.data() + static_cast<qsizetype>(y) * rgb.width() * bytes,
                       static_cast<cmsUInt32Number>(rgb.width()));
    return values;
}

} // namespace

double deltaE2000(QRgb first, QRgb second) {
    constexpr double degree = std::numbers::pi / 180;
    const Lab p = toLab(first), q = toLab(second);
    const double meanC7 = std::pow((std::hypot(p.a, p.b) + std::hypot(q.a, q.b)) / 2, 7);
    const double g = 0.5 * (1 - std::sqrt(meanC7 / (meanC7 + std::pow(25.0, 7))));
    const double a1 = p.a * (1 + g), a2 = q.a * (1 + g);
    const double c1 = std::hypot(a1, p.b), c2 = std::hypot(a2, q.b);
    const auto hue = [](double b, double a) {
        return a == 0 && b == 0 ? 0.0 : std::fmod(std::atan2(b, a) / degree + 360, 360);
    };
    const double h1 = hue(p.b, a1), h2 = hue(q.b, a2);
    const bool grey = c1 * c2 == 0;
    const double dh = grey ? 0 : std::remainder(h2 - h1, 360.0);
    const double dH = 2 * std::sqrt(c1 * c2) * std::sin(dh / 2 * degree);
    const double l = (p.l + q.l) / 2, c = (c1 + c2) / 2;
    const double h = grey                       ? h1 + h2
                     : std::abs(h1 - h2) <= 180 ? (h1 + h2) / 2
                     : h1 + h2 < 360            ? (h1 + h2 + 360) / 2
                                                : (h1 + h2 - 360) / 2;
    const double t = 1 - 0.17 * std::cos((h - 30) * degree) + 0.24 * std::cos(2 * h * degree) +
                     0.32 * std::cos((3 * h + 6) * degree) - 0.20 * std::cos((4 * h - 63) * degree);
    const double sl = 1 + 0.015 * (l - 50) * (l - 50) / std::sqrt(20 + (l - 50) * (l - 50));
    const double sc = 1 + 0.045 * c, sh = 1 + 0.015 * c * t;
    const double c7 = std::pow(c, 7);
    const double rt = -2 * std::sqrt(c7 / (c7 + std::pow(25.0, 7))) *
                      std::sin(60 * std::exp(-std::pow((h - 275) / 25, 2)) * degree);
    const double dl = (q.l - p.l) / sl, dc = (c2 - c1) / sc, dhs = dH / sh;
    return std::sqrt(dl * dl + dc * dc + dhs * dhs + rt * dc * dhs);
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

QImage convertedTo(const QImage& srgb, const QByteArray& profile, QImage::Format format) {
    const bool grey = format == QImage::Format_Grayscale8;
    const QByteArray values =
        deviceValues(srgb, profile, grey ? TYPE_GRAY_8 : TYPE_RGB_8, grey ? 1 : 3);
    const auto* bits = reinterpret_cast<const uchar*>(values.constData());
    return QImage(bits, srgb.width(), srgb.height(), srgb.width() * (grey ? 1 : 3), format).copy();
}

QByteArray cmykConvertedTo(const QImage& srgb, const QByteArray& profile) {
    return deviceValues(srgb, profile, TYPE_CMYK_8_REV, 4);
}

QByteArray iccProfileFile(const char* name) {
    QFile file(QStringLiteral("/usr/share/color/icc/") + QString::fromLatin1(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing profile %s (Debian package icc-profiles-free)", name);
    return file.readAll();
}

QByteArray greyProfile(double gamma) {
    const std::unique_ptr<cmsToneCurve, decltype(&cmsFreeToneCurve)> curve(
        cmsBuildGamma(nullptr, gamma), cmsFreeToneCurve);
    return saved(cmsCreateGrayProfile(cmsD50_xyY(), curve.get()));
}

QByteArray tableDisplayP3Profile() {
    const Profile p3 = open(QColorSpace(QColorSpace::DisplayP3).iccProfile());
    const Profile lab(cmsCreateLab4Profile(nullptr), cmsCloseProfile);
    cmsHTRANSFORM toLab = cmsCreateTransform(p3.get(), TYPE_RGB_16, lab.get(), TYPE_LabV2_16,
                                             INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsStage* table = cmsStageAllocCLut16bit(nullptr, 33, 3, 3, nullptr);
    cmsStageSampleCLut16bit(
        table,
        [](const cmsUInt16Number in[], cmsUInt16Number out[], void* transform) {
            cmsDoTransform(transform, in, out, 1);
            return 1;
        },
        toLab, 0);
    cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, 3, 3);
    cmsPipelineInsertStage(pipeline, cmsAT_END, table);
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 2.1); // its table goes into a lut16 tag
    cmsSetDeviceClass(profile, cmsSigDisplayClass);
    cmsSetColorSpace(profile, cmsSigRgbData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsWriteTag(profile, cmsSigAToB0Tag, pipeline);
    cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipelineFree(pipeline);
    cmsDeleteTransform(toLab);
    return saved(profile);
}

QByteArray withIccProfile(const QByteArray& jpeg, const QByteArray& icc, int partBytes,
                          bool reversed) {
    const auto count = static_cast<int>((icc.size() + partBytes - 1) / partBytes);
    QByteArray segments;
    for (int part = 0; part < count; ++part) {
        const QByteArray bytes = icc.mid(static_cast<qsizetype>(part) * partBytes, partBytes);
        const auto length = static_cast<int>(bytes.size()) + 16;
        QByteArray segment("\xFF\xE2", 2);
        segment += static_cast<char>(length >> 8);
        segment += static_cast<char>(length & 0xFF);
        segment += QByteArray("ICC_PROFILE", 12) + static_cast<char>(part + 1) +
                   static_cast<char>(count) + bytes;
        segments = reversed ? segment + segments : segments + segment;
    }
    return jpeg.left(2) + segments + jpeg.mid(2);
}

QByteArray withExifAdobeRgb(const QByteArray& jpeg) {
    // Little-endian TIFF: the first directory points at the EXIF one (at 26), which says
    // ColorSpace 0xFFFF and points at the interoperability one (at 56), which says "R03".
    const QByteArray tiff(
        "II*\0\x08\0\0\0"
        "\x01\0\x69\x87\x04\0\x01\0\0\0\x1A\0\0\0\0\0\0\0"
        "\x02\0\x01\xA0\x03\0\x01\0\0\0\xFF\xFF\0\0\x05\xA0\x04\0\x01\0\0\0\x38\0\0\0"
        "\0\0\0\0"
        "\x01\0\x01\0\x02\0\x04\0\0\0R03\0\0\0\0\0",
        74);
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xFF\xE1\0", 3);
    segment += static_cast<char>(payload.size() + 2);
    return jpeg.left(2) + segment + payload + jpeg.mid(2);
}

QByteArray cmykJpeg(const QByteArray& inverted, int width, int height) {
    const std::unique_ptr<void, decltype(&tjDestroy)> compressor(tjInitCompress(), tjDestroy);
    unsigned char* data = nullptr;
    unsigned long size = 0;
    tjCompress2(compressor.get(), reinterpret_cast<const unsigned char*>(inverted.constData()),
                width, 0, height, TJPF_CMYK, &data, &size, TJSAMP_444, 100, 0);
    const QByteArray jpeg(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    tjFree(data);
    return jpeg;
}

} // namespace testsupport
