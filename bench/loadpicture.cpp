// The picture loader on 12-megapixel photos and on large files that are no pictures.
//
//   bench_loadpicture [photo.jpg [photo.heic]]
//   bench_loadpicture --peak file     (one load in this fresh process: its peak memory)
//
// Without arguments a photo-like picture is generated once, as a JPEG and as a HEIC, into
// kalmora-bench-loadpicture in the temporary folder. Measured:
//   - the JPEG load against the JPEG library's own floor (the file read into a reused buffer and
//     decoded by TurboJPEG straight into a reused 24-bit buffer), with and without an EXIF turn;
//   - the same photo tagged Display P3 (what colour management adds), and the conversion of its
//     decoded rows alone against LittleCMS's own transform;
//   - the HEIC load next to the JPEG load;
//   - the peak memory of one load of each, in a fresh process (VmHWM above what it held before);
//   - sparse 2 GB files that start like videos, archives or nothing at all: the time and the
//     memory the loader spends to refuse them.
// Wall times are medians; processor time (the steadier figure on a shared machine) beside them.

#include "platform/picture/loadpicture.h"

#include "bench/cli.h"
#include "bench/photolike.h"
#include "bench/timing.h"
#include "platform/colour/colourtransform.h"
#include "platform/errors/runtimeerror.h"
#include "platform/picture/decodetarget.h"
#include "platform/picture/picturedecoder.h"
#include "platform/picture/picturefile.h"

#include <QColorSpace>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QProcess>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <lcms2.h>
#include <libheif/heif.h>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr int kRuns = 15;

long statusKb(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::string(key).size()));
    return -1;
}

bool writeFile(const QString& path, const void* data, std::size_t size) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(static_cast<const char*>(data), static_cast<qint64>(size)) ==
               static_cast<qint64>(size);
}

bool writeJpeg(const QString& path, const std::vector<std::uint8_t>& rgb) {
    const std::unique_ptr<void, int (*)(void*)> tj(tjInitCompress(), tjDestroy);
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const bool encoded = tjCompress2(tj.get(), rgb.data(), kWidth, 0, kHeight, TJPF_RGB, &jpeg,
                                     &size, TJSAMP_420, 90, 0) == 0;
    const bool written = encoded && writeFile(path, jpeg, size);
    tjFree(jpeg);
    return written;
}

heif_error appendTo(heif_context*, const void* data, size_t size, void* bytes) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(bytes);
    out->insert(out->end(), static_cast<const std::uint8_t*>(data),
                static_cast<const std::uint8_t*>(data) + size);
    return {heif_error_Ok, heif_suberror_Unspecified, ""};
}

// As a phone writes it: HEVC, 8 bits, 4:2:0, about 2 bits a pixel.
bool writeHeic(const QString& path, const std::vector<std::uint8_t>& rgb) {
    heif_image* image = nullptr;
    heif_image_create(kWidth, kHeight, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    const std::unique_ptr<heif_image, void (*)(const heif_image*)> owned(image, heif_image_release);
    heif_image_add_plane(image, heif_channel_interleaved, kWidth, kHeight, 8);
    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < kHeight; ++y)
        std::copy_n(&rgb[static_cast<std::size_t>(y) * kWidth * 3], kWidth * 3, plane + y * stride);
    const std::unique_ptr<heif_context, void (*)(heif_context*)> context(heif_context_alloc(),
                                                                         heif_context_free);
    heif_encoder* encoder = nullptr;
    if (heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &encoder).code)
        return false;
    heif_encoder_set_lossy_quality(encoder, 60);
    heif_encoder_set_parameter_string(encoder, "preset", "fast");
    const heif_error encoded =
        heif_context_encode_image(context.get(), image, encoder, nullptr, nullptr);
    heif_encoder_release(encoder);
    std::vector<std::uint8_t> bytes;
    heif_writer writer{1, appendTo};
    return encoded.code == heif_error_Ok &&
           heif_context_write(context.get(), &writer, &bytes).code == heif_error_Ok &&
           writeFile(path, bytes.data(), bytes.size());
}

// The photo as JPEG and as HEIC, generated once.
std::pair<QString, QString> preparePhotos(const QString& folder) {
    QDir().mkpath(folder);
    const QString jpeg = folder + QStringLiteral("/photo.jpg");
    const QString heic = folder + QStringLiteral("/photo.heic");
    if (!QFileInfo::exists(jpeg) || !QFileInfo::exists(heic)) {
        std::printf("generating %s and %s ...\n", qPrintable(jpeg), qPrintable(heic));
        std::fflush(stdout);
        const std::vector<std::uint8_t> rgb = bench::photoLikePicture(kWidth, kHeight, 1);
        if (!writeJpeg(jpeg, rgb) || !writeHeic(heic, rgb))
            bench::fail(QStringLiteral("cannot write %1 and %2").arg(jpeg, heic));
    }
    return {jpeg, heic};
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

// Files a phone's or a download folder holds beside the pictures, by their first bytes.
struct NoPicture {
    const char* name;
    QByteArray head;
};

std::vector<NoPicture> noPictures() {
    QByteArray random(4096, '\0');
    std::uint32_t state = 12345;
    for (char& byte : random) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    QByteArray transport;
    for (int packet = 0; packet < 22; ++packet)
        transport += QByteArray("\x47\x40\x11\x10", 4) + QByteArray(184, '\xFF');
    return {
        {"MP4 video", QByteArray("\0\0\0\x20"
                                 "ftypisom\0\0\x02\0isomiso2avc1mp41",
                                 32)},
        {"QuickTime video", QByteArray("\0\0\0\x14"
                                       "ftypqt  \0\0\0\0qt  ",
                                       20)},
        {"Matroska video", QByteArray("\x1A\x45\xDF\xA3\x9F\x42\x86\x81\x01", 9)},
        {"AVI video", QByteArray("RIFF\xF0\xFF\xFF\x7F"
                                 "AVI LIST",
                                 16)},
        {"MPEG program stream", QByteArray("\0\0\x01\xBA\x44\0\x04\0\x04\x01\x01\x89\xC3\xF8", 14)},
        {"MPEG transport stream", transport},
        {"ZIP archive", QByteArray("PK\x03\x04\x14\0\0\0\x08\0", 10)},
        {"random bytes", random},
    };
}

QString sparseFile(const QString& folder, const NoPicture& file) {
    const QString path = folder + u'/' + QString::fromLatin1(file.name);
    if (!writeFile(path, file.head.constData(), static_cast<std::size_t>(file.head.size())) ||
        ::truncate(QFile::encodeName(path).constData(), 2LL << 30) != 0)
        bench::fail(QStringLiteral("cannot make the sparse file %1").arg(path));
    return path;
}

bool refused(const QString& path) {
    try {
        platform::LoadPicture(path);
    } catch (const platform::RuntimeError& error) {
        return error.number() == platform::ErrInvalidPicture;
    }
    return false;
}

// In a fresh process: one load of the file, and the memory it took at its peak (KiB above what
// the process held before). A file that is no picture is loaded after another one, so that
// Qt's image plugins, loaded once per process, do not count.
int measurePeak(const QString& path, const QString& warmUp) {
    if (!warmUp.isEmpty())
        refused(warmUp);
    const long before = statusKb("VmRSS:");
    std::ofstream("/proc/self/clear_refs") << "5"; // the peak starts again from here
    try {
        platform::LoadPicture(path);
    } catch (const platform::RuntimeError&) {
    }
    std::printf("%ld\n", statusKb("VmHWM:") - before);
    return 0;
}

long peakInChild(const QString& path, const QString& warmUp = {}) {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--peak"), path, warmUp});
    if (!child.waitForFinished(600'000) || child.exitCode() != 0)
        return -1;
    return child.readAllStandardOutput().trimmed().toLong();
}

constexpr char kUsage[] = "bench_loadpicture [photo.jpg [photo.heic]]\n"
                          "  the photos to load (default: a generated 12-megapixel photo, kept in\n"
                          "  <temporary folder>/kalmora-bench-loadpicture)\n"
                          "bench_loadpicture --peak file [file loaded first]\n"
                          "  one load in this fresh process: its peak memory\n";

QString existingFile(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (!QFileInfo(absolute).isFile())
        bench::fail(QStringLiteral("%1 is no file").arg(absolute));
    return absolute;
}

int benchmark(int argc, char** argv) {
    const bench::Arguments arguments(argc, argv, kUsage, {QStringLiteral("peak")});
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList& positional = arguments.positional(2);
    if (const QString peak = arguments.option(QStringLiteral("peak")); !peak.isEmpty())
        return measurePeak(peak, positional.value(0));
    const QString givenPath = positional.size() > 0 ? existingFile(positional[0]) : QString();
    const QString givenHeic = positional.size() > 1 ? existingFile(positional[1]) : QString();
    const QString folder = QDir::temp().filePath(QStringLiteral("kalmora-bench-loadpicture"));
    auto [path, heicPath] = preparePhotos(folder);
    if (!givenPath.isEmpty())
        path = givenPath;
    if (!givenHeic.isEmpty())
        heicPath = givenHeic;

    std::vector<std::uint8_t> reused;
    const auto intoReused = [&](int width, int height, platform::TargetPixels = {}) {
        const std::size_t stride = platform::bgrStride(width);
        reused.resize(stride * static_cast<std::size_t>(height));
        return platform::DecodeTarget{reused.data(), width, height, stride};
    };

    const auto bytes = platform::readPictureFile(path);
    std::printf("JPEG: %s, %.1f MB\n", qPrintable(path), static_cast<double>(bytes.size()) / 1e6);
    const double jpegBytes = static_cast<double>(bytes.size());

    const auto read = bench::measure(kRuns, [&] { platform::readPictureFile(path); });
    const auto mmapped = bench::measure(kRuns, [&] {
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
    if (tjDecompressHeader3(tj.get(), bytes.data(), bytes.size(), &width, &height, &subsampling,
                            &colours) != 0)
        bench::fail(QStringLiteral("%1 is no JPEG file").arg(path));
    const auto floor = bench::measure(kRuns, [&] {
        const auto data = platform::readPictureFile(path);
        const auto target = intoReused(width, height);
        tjDecompress2(tj.get(), data.data(), data.size(), target.bits, width,
                      static_cast<int>(target.stride), height, TJPF_BGR, TJFLAG_BOTTOMUP);
    });
    const auto decode = bench::measure(
        kRuns, [&] { platform::decodePicture(platform::readPictureFile(path), intoReused); });
    const auto qt = bench::measure(kRuns, [&] { QImageReader(path).read(); });
    // As the batch run does: the previous picture is let go once the next one is there.
    platform::PictureDisp held;
    const auto load = bench::measure(kRuns, [&] { held = platform::LoadPicture(path); });
    held.reset();
    const auto copyOf = [&](const char* name, const std::function<QByteArray(QByteArray)>& edit) {
        QFile source(path);
        source.open(QIODevice::ReadOnly);
        QFile target(folder + u'/' + QLatin1String(name));
        target.open(QIODevice::WriteOnly);
        target.write(edit(source.readAll()));
        return target.fileName();
    };
    const QString turnedPath = copyOf("turned.jpg", turned);
    const auto turnedLoad =
        bench::measure(kRuns, [&] { held = platform::LoadPicture(turnedPath); });
    held.reset();
    // The same photo tagged Display P3: what colour management adds.
    const QByteArray p3 = QColorSpace(QColorSpace::DisplayP3).iccProfile();
    const QString p3Path =
        copyOf("p3.jpg", [&](const QByteArray& jpeg) { return withIccProfile(jpeg, p3); });
    const auto p3Load = bench::measure(kRuns, [&] { held = platform::LoadPicture(p3Path); });
    held.reset();
    // The conversion of the decoded rows alone: ours, and LittleCMS's own 8-bit transform.
    const auto decoded = intoReused(width, height);
    platform::decodePicture(platform::readPictureFile(path), intoReused);
    std::vector<std::uint8_t> converted(decoded.stride);
    const auto transform = platform::ColourTransform::toSrgb({{p3.begin(), p3.end()}, {}, false},
                                                             platform::SourcePixels::Bgr8);
    const auto ours = bench::measure(kRuns, [&] {
        for (int y = 0; y < height; ++y)
            transform->convertRow(decoded.row(y), converted.data(), width);
    });
    cmsHPROFILE source =
        cmsOpenProfileFromMem(p3.constData(), static_cast<cmsUInt32Number>(p3.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM littleCms =
        cmsCreateTransform(source, TYPE_BGR_8, srgb, TYPE_BGR_8, INTENT_RELATIVE_COLORIMETRIC,
                           cmsFLAGS_BLACKPOINTCOMPENSATION);
    const auto theirs = bench::measure(kRuns, [&] {
        for (int y = 0; y < height; ++y)
            cmsDoTransform(littleCms, decoded.row(y), converted.data(),
                           static_cast<cmsUInt32Number>(width));
    });
    cmsDeleteTransform(littleCms);
    cmsCloseProfile(srgb);
    cmsCloseProfile(source);
    const auto heic = bench::measure(5, [&] { held = platform::LoadPicture(heicPath); });
    held.reset();
    const double heicBytes = static_cast<double>(QFileInfo(heicPath).size());

    const auto row = [&](const char* what, const bench::Sample& sample) {
        std::printf("%-34s %8.2f ms %8.2f ms  %5.2f x floor\n", what, sample.wallMs, sample.cpuMs,
                    sample.cpuMs / floor.cpuMs);
    };
    std::printf("%dx%d                              wall        cpu\n", width, height);
    row("read() into the reused buffer", read);
    row("mmap with MAP_POPULATE (compare)", mmapped);
    row("floor: read + TurboJPEG", floor);
    row("read + decodePicture", decode);
    row("LoadPicture", load);
    row("LoadPicture, EXIF quarter turn", turnedLoad);
    row("LoadPicture, Display P3 profile", p3Load);
    row("P3 to sRGB, decoded rows alone", ours);
    row("the same by LittleCMS (compare)", theirs);
    std::printf("Display P3 adds %.2f ms of processor time to the load\n",
                p3Load.cpuMs - load.cpuMs);
    row("QImageReader (compare)", qt);
    std::printf("HEIC: %s, %.1f MB (JPEG %.1f MB)\n", qPrintable(heicPath), heicBytes / 1e6,
                jpegBytes / 1e6);
    row("LoadPicture, HEIC", heic);
    const long jpegPeak = peakInChild(path);
    const long heicPeak = peakInChild(heicPath);
    std::printf("peak memory of one load: JPEG %.1f MiB, HEIC %.1f MiB (%.2f x)\n",
                static_cast<double>(jpegPeak) / 1024, static_cast<double>(heicPeak) / 1024,
                static_cast<double>(heicPeak) / static_cast<double>(jpegPeak));

    const QString text = folder + QStringLiteral("/notes.txt");
    writeFile(text, "no picture\n", 11);
    std::printf("\n2 GB files that are no pictures        wall        cpu   peak memory\n");
    for (const NoPicture& file : noPictures()) {
        const QString sparse = sparseFile(folder, file);
        bool allRefused = true;
        const auto refuse = bench::measure(kRuns, [&] { allRefused &= refused(sparse); });
        std::printf("%-34s %8.3f ms %8.3f ms  %6ld KiB%s\n", file.name, refuse.wallMs, refuse.cpuMs,
                    peakInChild(sparse, text), allRefused ? "" : "  NOT REFUSED AS NO PICTURE");
        QFile::remove(sparse);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return bench::guarded([&] { return benchmark(argc, argv); });
}
