// Times the picture loader on a 12-megapixel photo against the JPEG library's own floor: the file
// read into a reused buffer and decoded by TurboJPEG straight into a reused 24-bit buffer.
// Usage: bench_loadpicture [photo.jpg] — without an argument a photo-like picture is generated.
// The same photo tagged Display P3 shows what colour management adds (in processor time).

#include "bench/timing.h"
#include "platform/colour/colourtransform.h"
#include "platform/picture/decodetarget.h"
#include "platform/picture/picture.h"
#include "platform/picture/picturedecoder.h"
#include "platform/picture/picturefile.h"

#include <QBuffer>
#include <QColorSpace>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <lcms2.h>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double medianMs(int runs, const std::function<void()>& body) {
    std::vector<double> times;
    body(); // warm caches and pools
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        body();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Smooth gradients with a little noise compress like a photo (about 3 MB at quality 90).
QByteArray photoLike(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    auto* random = QRandomGenerator::global();
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int noise = static_cast<int>(random->bounded(24));
            row[x] = qRgb((x * 255 / width + noise) & 0xFF, (y * 255 / height + noise) & 0xFF,
                          ((x + y) * 127 / (width + height) + noise) & 0xFF);
        }
    }
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(90);
    writer.write(image);
    return data;
}

// The same stream with an EXIF block saying "turn a quarter clockwise".
QByteArray turned(const QByteArray& jpeg) {
    const QByteArray tiff("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0", 26);
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xFF\xE1", 2);
    segment += static_cast<char>(0);
    segment += static_cast<char>(payload.size() + 2);
    return jpeg.left(2) + segment + payload + jpeg.mid(2);
}

// The same stream with an ICC profile in one APP2 segment.
QByteArray withIccProfile(const QByteArray& jpeg, const QByteArray& icc) {
    const QByteArray payload = QByteArray("ICC_PROFILE\0\x01\x01", 14) + icc;
    QByteArray segment("\xFF\xE2", 2);
    segment += static_cast<char>((payload.size() + 2) >> 8);
    segment += static_cast<char>((payload.size() + 2) & 0xFF);
    return jpeg.left(2) + segment + payload + jpeg.mid(2);
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    QString path;
    if (argc > 1) {
        path = QString::fromLocal8Bit(argv[1]);
    } else {
        path = dir.filePath("photo.jpg");
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(photoLike(4000, 3000));
    }
    const int runs = 15;

    std::vector<std::uint8_t> reused;
    const auto intoReused = [&](int width, int height, platform::TargetPixels = {}) {
        const std::size_t stride = platform::bgrStride(width);
        reused.resize(stride * static_cast<std::size_t>(height));
        return platform::DecodeTarget{reused.data(), width, height, stride};
    };

    const auto bytes = platform::readPictureFile(path);
    std::printf("file: %s, %.1f MB\n", qPrintable(path), static_cast<double>(bytes.size()) / 1e6);

    const double readMs = medianMs(runs, [&] { platform::readPictureFile(path); });
    const double mmapMs = medianMs(runs, [&] {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        struct stat info {};
        ::fstat(fd, &info);
        void* map = ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ,
                           MAP_PRIVATE | MAP_POPULATE, fd, 0);
        ::munmap(map, static_cast<std::size_t>(info.st_size));
        ::close(fd);
    });

    const std::unique_ptr<void, int (*)(void*)> tj(tjInitDecompress(), tjDestroy);
    int width = 0, height = 0, subsampling = 0, colours = 0;
    tjDecompressHeader3(tj.get(), bytes.data(), bytes.size(), &width, &height, &subsampling,
                        &colours);
    const double floorMs = medianMs(runs, [&] {
        const auto data = platform::readPictureFile(path);
        const auto target = intoReused(width, height);
        tjDecompress2(tj.get(), data.data(), data.size(), target.bits, width,
                      static_cast<int>(target.stride), height, TJPF_BGR, TJFLAG_BOTTOMUP);
    });
    const double decodeMs = medianMs(
        runs, [&] { platform::decodePicture(platform::readPictureFile(path), intoReused); });
    const double qtMs = medianMs(runs, [&] { QImageReader(path).read(); });
    // As the batch run does: the previous picture is let go once the next one is there.
    platform::PictureDisp held;
    const double loadMs = medianMs(runs, [&] { held = platform::LoadPicture(path); });
    held.reset();
    const auto copyOf = [&](const char* name, const std::function<QByteArray(QByteArray)>& edit) {
        QFile source(path);
        source.open(QIODevice::ReadOnly);
        QFile target(dir.filePath(name));
        target.open(QIODevice::WriteOnly);
        target.write(edit(source.readAll()));
        return target.fileName();
    };
    const QString turnedPath = copyOf("turned.jpg", turned);
    const double turnedMs = medianMs(runs, [&] { held = platform::LoadPicture(turnedPath); });
    held.reset();

    const QByteArray p3 = QColorSpace(QColorSpace::DisplayP3).iccProfile();
    const QString p3Path =
        copyOf("p3.jpg", [&](const QByteArray& jpeg) { return withIccProfile(jpeg, p3); });
    const double untaggedCpu =
        bench::measure(runs, [&] { held = platform::LoadPicture(path); }).cpuMs;
    const double p3Cpu = bench::measure(runs, [&] { held = platform::LoadPicture(p3Path); }).cpuMs;
    held.reset();
    // The conversion of the decoded rows alone: ours, and LittleCMS's own 8-bit transform.
    const auto decoded = intoReused(width, height);
    platform::decodePicture(platform::readPictureFile(path), intoReused);
    std::vector<std::uint8_t> row(decoded.stride);
    const auto transform = platform::ColourTransform::toSrgb({{p3.begin(), p3.end()}, {}, false},
                                                             platform::SourcePixels::Bgr8);
    const double oursCpu = bench::measure(runs, [&] {
                               for (int y = 0; y < height; ++y)
                                   transform->convertRow(decoded.row(y), row.data(), width);
                           }).cpuMs;
    cmsHPROFILE source =
        cmsOpenProfileFromMem(p3.constData(), static_cast<cmsUInt32Number>(p3.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM littleCms =
        cmsCreateTransform(source, TYPE_BGR_8, srgb, TYPE_BGR_8, INTENT_RELATIVE_COLORIMETRIC,
                           cmsFLAGS_BLACKPOINTCOMPENSATION);
    const double littleCmsCpu = bench::measure(runs, [&] {
                                    for (int y = 0; y < height; ++y)
                                        cmsDoTransform(littleCms, decoded.row(y), row.data(),
                                                       static_cast<cmsUInt32Number>(width));
                                }).cpuMs;
    cmsDeleteTransform(littleCms);
    cmsCloseProfile(srgb);
    cmsCloseProfile(source);

    std::printf("%dx%d\n", width, height);
    std::printf("read() into the reused buffer   %7.2f ms\n", readMs);
    std::printf("mmap with MAP_POPULATE (compare) %7.2f ms\n", mmapMs);
    std::printf("floor: read + TurboJPEG         %7.2f ms\n", floorMs);
    std::printf("read + decodePicture             %7.2f ms (%.2f x floor)\n", decodeMs,
                decodeMs / floorMs);
    std::printf("LoadPicture                      %7.2f ms (%.2f x floor)\n", loadMs,
                loadMs / floorMs);
    std::printf("LoadPicture, EXIF quarter turn  %7.2f ms (%.2f x floor)\n", turnedMs,
                turnedMs / floorMs);
    std::printf("QImageReader (compare)          %7.2f ms\n", qtMs);
    std::printf("processor time:\n");
    std::printf("LoadPicture, untagged            %7.2f ms\n", untaggedCpu);
    std::printf("LoadPicture, Display P3 profile  %7.2f ms (%+.2f ms)\n", p3Cpu,
                p3Cpu - untaggedCpu);
    std::printf("P3 to sRGB, decoded rows alone   %7.2f ms (LittleCMS's 8-bit transform %.2f ms)\n",
                oursCpu, littleCmsCpu);
    return 0;
}
