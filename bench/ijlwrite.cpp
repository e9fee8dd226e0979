// Encoding speed and file size of the JPEG library on a 12-megapixel photo-like picture.
//
//   bench_ijlwrite [quality]
//
// Times ijlWrite (temporary file, encode, close, rename) against the bare encoder with the same
// settings into memory, with and without optimised Huffman tables and through stdio, and
// compares the file sizes with ImageMagick's at several qualities when `convert` is installed.
#include "bench/cli.h"
#include "bench/floor.h"
#include "bench/photolike.h"
#include "platform/jpeg/ijl.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <jpeglib.h>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr int kRuns = 9;

// The photo-like picture as the image buffer holds it: blue, green, red, rows bottom-up.
std::vector<std::uint8_t> photoLikeBuffer() {
    const std::vector<std::uint8_t> rgb = bench::photoLikePicture(kWidth, kHeight, 1);
    std::vector<std::uint8_t> bgr(rgb.size());
    const std::size_t row = static_cast<std::size_t>(kWidth) * 3;
    for (int y = 0; y < kHeight; ++y) {
        const std::uint8_t* in = &rgb[static_cast<std::size_t>(y) * row];
        std::uint8_t* out = &bgr[static_cast<std::size_t>(kHeight - 1 - y) * row];
        for (std::size_t b = 0; b < row; b += 3) {
            out[b] = in[b + 2];
            out[b + 1] = in[b + 1];
            out[b + 2] = in[b];
        }
    }
    return bgr;
}

long minorPageFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// One way of encoding the picture; run() returns the size it wrote.
struct Variant {
    const char* name;
    std::function<qint64()> run;
    std::vector<double> ms{};
    long pageFaults = 0;
    qint64 bytes = 0;
};

// Runs the variants in turns, so that a change in the machine's load hits them all alike, after
// two warm-up turns (the first runs pay for fresh memory and a cold page cache).
void timeInTurns(std::vector<Variant>& variants) {
    for (int warmUp = 0; warmUp < 2; ++warmUp)
        for (Variant& variant : variants)
            variant.run();
    for (int turn = 0; turn < kRuns; ++turn) {
        for (Variant& variant : variants) {
            const long faultsBefore = minorPageFaults();
            const auto start = std::chrono::steady_clock::now();
            variant.bytes = variant.run();
            variant.ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
            variant.pageFaults += minorPageFaults() - faultsBefore;
        }
    }
    for (Variant& variant : variants)
        std::sort(variant.ms.begin(), variant.ms.end());
}

double median(const Variant& variant) {
    return variant.ms[variant.ms.size() / 2];
}

bool writeWithLibrary(const std::vector<std::uint8_t>& bgr, const QString& path, int quality) {
    ijl::JPEG_CORE_PROPERTIES props{};
    if (ijl::ijlInit(&props) != ijl::IJL_OK)
        return false;
    const ijl::FreeOnExit release(props);
    const QByteArray name = QFile::encodeName(path);
    props.DIBBytes = bgr.data();
    props.DIBWidth = kWidth;
    props.DIBHeight = -kHeight;
    props.JPGFile = name.constData();
    props.JPGWidth = kWidth;
    props.JPGHeight = kHeight;
    props.jquality = quality;
    return ijl::ijlWrite(&props, ijl::IJL_JFILE_WRITEWHOLEIMAGE) == ijl::IJL_OK;
}

// The bare encoder with the library's settings (or without optimised tables), into memory or a
// stdio file; returns the size written.
unsigned long bareEncode(const std::vector<std::uint8_t>& bgr, int quality, bool optimise,
                         FILE* file, unsigned char** memory, unsigned long* memorySize) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    if (file)
        jpeg_stdio_dest(&cinfo, file);
    else
        jpeg_mem_dest(&cinfo, memory, memorySize);
    bench::compressBottomUp(cinfo, bgr.data(), std::size_t{kWidth} * 3, kWidth, kHeight, quality,
                            optimise);
    jpeg_destroy_compress(&cinfo);
    return memorySize ? *memorySize : 0;
}

bool writePpm(const std::vector<std::uint8_t>& bgr, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QByteArray("P6\n") + QByteArray::number(kWidth) + ' ' + QByteArray::number(kHeight) +
               "\n255\n");
    QByteArray row(kWidth * 3, '\0');
    for (int y = kHeight - 1; y >= 0; --y) {
        const std::uint8_t* source = &bgr[static_cast<std::size_t>(y) * kWidth * 3];
        for (int x = 0; x < kWidth; ++x) {
            row[3 * x] = static_cast<char>(source[3 * x + 2]);
            row[3 * x + 1] = static_cast<char>(source[3 * x + 1]);
            row[3 * x + 2] = static_cast<char>(source[3 * x]);
        }
        file.write(row);
    }
    return file.error() == QFileDevice::NoError;
}

constexpr char kUsage[] = "bench_ijlwrite [quality]\n"
                          "  quality  1 to 100 (default 20, the program's own)\n";

int benchmark(int argc, char** argv) {
    const bench::Arguments arguments(argc, argv, kUsage, {});
    const QStringList& positional = arguments.positional(1);
    const int quality =
        positional.isEmpty()
            ? 20
            : arguments.wholeNumber(positional[0], QStringLiteral("quality"), 1, 100);
    QTemporaryDir dir;
    if (!dir.isValid())
        bench::fail(QStringLiteral("cannot make a temporary folder: %1").arg(dir.errorString()));
    std::printf("generating a %d x %d photo-like picture...\n", kWidth, kHeight);
    const std::vector<std::uint8_t> bgr = photoLikeBuffer();
    const QString target = dir.filePath(QStringLiteral("Foto000.jpg"));

    unsigned char* memory = nullptr;
    unsigned long memorySize = 0;
    const QByteArray stdioPath = QFile::encodeName(dir.filePath(QStringLiteral("stdio.jpg")));
    std::vector<Variant> variants{
        {"ijlWrite (temporary file, encode, rename)",
         [&] {
             if (!writeWithLibrary(bgr, target, quality))
                 bench::fail(QStringLiteral("ijlWrite failed on %1").arg(target));
             return QFileInfo(target).size();
         }},
        {"bare encoder into reused memory, optimised",
         [&] {
             return static_cast<qint64>(
                 bareEncode(bgr, quality, true, nullptr, &memory, &memorySize));
         }},
        {"bare encoder into reused memory, standard tables",
         [&] {
             return static_cast<qint64>(
                 bareEncode(bgr, quality, false, nullptr, &memory, &memorySize));
         }},
        {"bare encoder through stdio, optimised",
         [&] {
             FILE* file = std::fopen(stdioPath.constData(), "wb");
             bareEncode(bgr, quality, true, file, nullptr, nullptr);
             std::fclose(file);
             return QFileInfo(QString::fromLocal8Bit(stdioPath)).size();
         }},
    };
    timeInTurns(variants);
    std::free(memory);
    for (const Variant& v : variants)
        std::printf("%-50s best %6.1f ms  median %6.1f ms  %6ld page faults  %9lld bytes\n", v.name,
                    v.ms.front(), median(v), v.pageFaults / kRuns, static_cast<long long>(v.bytes));
    std::printf("ijlWrite / bare encoder (medians): %.2f\n",
                median(variants[0]) / median(variants[1]));

    const QString ppm = dir.filePath(QStringLiteral("picture.ppm"));
    if (std::system("command -v convert >/dev/null 2>&1") != 0 || !writePpm(bgr, ppm)) {
        std::printf("ImageMagick's convert is not installed: no size comparison\n");
        return 0;
    }
    std::printf("\nfile sizes against ImageMagick (convert picture.ppm -quality Q out.jpg):\n");
    for (const int q : {1, 5, 10, 20, 35, 50, 75, 85, 90, 95, 100}) {
        const QString ours = dir.filePath(QStringLiteral("ours.jpg"));
        const QString theirs = dir.filePath(QStringLiteral("theirs.jpg"));
        if (!writeWithLibrary(bgr, ours, q))
            bench::fail(QStringLiteral("ijlWrite failed on %1").arg(ours));
        const std::string command = "convert '" + ppm.toStdString() + "' -quality " +
                                    std::to_string(q) + " '" + theirs.toStdString() + "'";
        if (std::system(command.c_str()) != 0)
            bench::fail(
                QStringLiteral("ImageMagick failed: %1").arg(QString::fromStdString(command)));
        const qint64 a = QFileInfo(ours).size();
        const qint64 b = QFileInfo(theirs).size();
        std::printf("quality %3d: ours %9lld  ImageMagick %9lld  (%+.2f%%)\n", q,
                    static_cast<long long>(a), static_cast<long long>(b),
                    100.0 * static_cast<double>(a - b) / static_cast<double>(b));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return bench::guarded([&] { return benchmark(argc, argv); });
}
