// The conversion run on a folder of 12-megapixel photos, against the floor of the same work.
//
//   bench_batchrun [folder] [rounds]                         (9 rounds unless told)
//   bench_batchrun --peak run|pipeline|floor count folder   (one measurement of peak memory)
//
// The folder (default: kalmora-bench-batchrun in the temporary folder) keeps the generated
// sources between calls. Three ways of converting the same files are measured in turns, after a
// warm-up turn, so that a change in the machine's load hits them all alike:
//   run       the real run, as a click on "&Umwandeln" starts it (offscreen windows);
//   pipeline  LoadPicture + CreateFromPicture + WriteJpegFile for each file, nothing else;
//   floor     read the file, decode it with libjpeg-turbo into a reused 24-bit buffer, encode it
//             with the same settings (quality 20, 4:2:0, optimised Huffman tables) into a reused
//             output buffer, write it.
// Each is measured over 4 and over 8 files. Wall time and processor time are both reported, as
// medians; the spread of the run/floor ratio over the turns shows the noise. The peak memory of
// each way (VmHWM) is measured in a fresh process of its own, so that nothing another way left
// behind counts: it must not grow with the number of files.
#include "bench/photolike.h"
#include "conversion/module.h"
#include "image/cdibsection.h"
#include "mainwindow/frmmain.h"
#include "platform/controls/controls.h"
#include "platform/controls/filelistbox.h"
#include "platform/picture/picture.h"
#include "platform/windows/forms.h"
#include "platform/windows/messagebox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <jpeglib.h>
#include <string>
#include <turbojpeg.h>
#include <utility>
#include <vector>

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr int kSourceQuality = 90;
constexpr int kQuality = 20; // the program's default, what the run reads from the scroll bar
constexpr int kFiles = 8;
const int kCounts[] = {4, 8};

// ---- sources -------------------------------------------------------------------------------

bool writeSource(const QString& path, int seed) {
    const std::vector<std::uint8_t> rgb = bench::photoLikePicture(kWidth, kHeight, seed);
    tjhandle encoder = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const bool encoded = tjCompress2(encoder, rgb.data(), kWidth, 0, kHeight, TJPF_RGB, &jpeg,
                                     &size, TJSAMP_420, kSourceQuality, 0) == 0;
    tjDestroy(encoder);
    bool written = false;
    if (encoded) {
        QFile file(path);
        written = file.open(QIODevice::WriteOnly) &&
                  file.write(reinterpret_cast<const char*>(jpeg), static_cast<qint64>(size)) ==
                      static_cast<qint64>(size);
    }
    tjFree(jpeg);
    return written;
}

// The sources, generated once; one folder per count holds links to the first files.
QString prepareFolder(const QString& root, int count) {
    QDir().mkpath(root + QStringLiteral("/sources"));
    for (int i = 0; i < kFiles; ++i) {
        const QString source = root + QStringLiteral("/sources/src%1.jpg").arg(i);
        if (!QFileInfo::exists(source)) {
            std::printf("generating %s ...\n", qPrintable(source));
            std::fflush(stdout);
            if (!writeSource(source + QStringLiteral(".part"), i + 1) ||
                !QFile::rename(source + QStringLiteral(".part"), source))
                std::abort();
        }
    }
    const QString folder = root + QStringLiteral("/run%1").arg(count);
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("/src%1.jpg").arg(i);
        if (!QFile::link(root + QStringLiteral("/sources") + name, folder + name))
            std::abort();
    }
    return folder;
}

// ---- measuring ----------------------------------------------------------------------------

double seconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

long peakMemoryKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

qint64 outputBytes(const QString& folder, const QString& prefix) {
    qint64 total = 0;
    for (const QFileInfo& file :
         QDir(folder).entryInfoList({prefix + QStringLiteral("*")}, QDir::Files))
        total += file.size();
    return total;
}

struct Sample {
    double wall = 0;
    double cpu = 0;
};

struct Variant {
    const char* name;
    const char* prefix; // of its output files
    std::function<void(const QString& folder, int count)> convert;
    std::vector<Sample> samples[2] = {}; // by count
    qint64 bytes[2] = {0, 0};
};

Sample measure(Variant& variant, const QString& folder, int count) {
    const double wall = seconds(CLOCK_MONOTONIC);
    const double cpu = seconds(CLOCK_PROCESS_CPUTIME_ID);
    variant.convert(folder, count);
    return {seconds(CLOCK_MONOTONIC) - wall, seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// ---- the three ways -----------------------------------------------------------------------

QString source(const QString& folder, int i) {
    return folder + QStringLiteral("/src%1.jpg").arg(i);
}

// The floor: the least any program must do for the same files.
class Floor {
public:
    Floor() : decoder_(tjInitDecompress()), output_(16u << 20) {}
    ~Floor() { tjDestroy(decoder_); }

    void convert(const QString& from, const QString& to) {
        FILE* in = std::fopen(QFile::encodeName(from).constData(), "rb");
        if (!in)
            std::abort();
        std::fseek(in, 0, SEEK_END);
        input_.resize(static_cast<std::size_t>(std::ftell(in)));
        std::fseek(in, 0, SEEK_SET);
        if (std::fread(input_.data(), 1, input_.size(), in) != input_.size())
            std::abort();
        std::fclose(in);

        int width = 0, height = 0, sampling = 0, colourspace = 0;
        if (tjDecompressHeader3(decoder_, input_.data(), input_.size(), &width, &height, &sampling,
                                &colourspace) != 0)
            std::abort();
        const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
        pixels_.resize(stride * static_cast<std::size_t>(height));
        if (tjDecompress2(decoder_, input_.data(), input_.size(), pixels_.data(), width,
                          static_cast<int>(stride), height, TJPF_BGR, TJFLAG_BOTTOMUP) != 0)
            std::abort();

        jpeg_compress_struct cinfo{};
        jpeg_error_mgr err{};
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_compress(&cinfo);
        unsigned char* buffer = output_.data();
        unsigned long size = output_.size();
        jpeg_mem_dest(&cinfo, &buffer, &size);
        cinfo.image_width = static_cast<JDIMENSION>(width);
        cinfo.image_height = static_cast<JDIMENSION>(height);
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, kQuality, TRUE);
        cinfo.optimize_coding = TRUE;
        cinfo.dct_method = JDCT_IFAST; // as the writer below quality 90
        jpeg_start_compress(&cinfo, TRUE);
        JSAMPROW rows[16];
        while (cinfo.next_scanline < cinfo.image_height) {
            JDIMENSION n = 0;
            for (; n < 16 && cinfo.next_scanline + n < cinfo.image_height; ++n)
                rows[n] = &pixels_[stride * (static_cast<std::size_t>(height) - 1 -
                                             (cinfo.next_scanline + n))];
            jpeg_write_scanlines(&cinfo, rows, n);
        }
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        if (buffer != output_.data())
            std::abort(); // the reused buffer was too small: the floor would pay a malloc

        FILE* out = std::fopen(QFile::encodeName(to).constData(), "wb");
        if (!out || std::fwrite(buffer, 1, size, out) != size || std::fclose(out) != 0)
            std::abort();
    }

private:
    tjhandle decoder_;
    std::vector<std::uint8_t> input_;
    std::vector<std::uint8_t> pixels_;
    std::vector<std::uint8_t> output_;
};

// The three ways, on the windows and buffers of one process.
class Ways {
public:
    explicit Ways(const QString& programFolder) : forms_(programFolder) {
        platform::setMessageBoxHandler([this](const platform::MessageBoxRequest& request) {
            std::printf("message: %s\n", qPrintable(request.prompt));
            ++messages_;
            return static_cast<int>(platform::vbOK);
        });
        forms_.setLastWindowUnloaded({});
        main_ = &forms_.show<frmMain>();
        // Only the sources: the outputs of the three ways stay out of the list.
        main_->Dateiliste->setPattern(QStringLiteral("src*.jpg"));
        variants_ = {
            {"run",
             "Foto",
             [this](const QString& folder, int) {
                 main_->Dateiliste->setPath(folder);
                 platform::setText(*main_->Pfad, folder);
                 main_->cmd_Save->click();
             },
             {},
             {}},
            {"pipeline",
             "pipe",
             [this](const QString& folder, int count) {
                 for (int i = 0; i < count; ++i) {
                     const platform::PictureDisp picture = platform::LoadPicture(source(folder, i));
                     buffer_.CreateFromPicture(picture);
                     WriteJpegFile(
                         buffer_, folder + QStringLiteral("/pipe%1.jpg").arg(i, 3, 10, QChar(u'0')),
                         kQuality);
                 }
                 buffer_.ClearUp();
             },
             {},
             {}},
            {"floor",
             "floor",
             [this](const QString& folder, int count) {
                 for (int i = 0; i < count; ++i)
                     floor_.convert(source(folder, i),
                                    folder +
                                        QStringLiteral("/floor%1.jpg").arg(i, 3, 10, QChar(u'0')));
             },
             {},
             {}},
        };
    }
    ~Ways() { platform::setMessageBoxHandler({}); }

    std::vector<Variant>& variants() { return variants_; }
    int messages() const { return messages_; }

private:
    platform::Forms forms_;
    frmMain* main_ = nullptr;
    Floor floor_;
    cDIBSection buffer_;
    std::vector<Variant> variants_;
    int messages_ = 0;
};

// In a fresh process: the peak memory of one way over `count` files, and what the process held
// before it began.
int measurePeak(const QString& programFolder, const QString& name, const QString& folder,
                int count) {
    Ways ways(programFolder);
    for (Variant& variant : ways.variants()) {
        if (name != QLatin1String(variant.name))
            continue;
        const long before = peakMemoryKb();
        variant.convert(folder, count);
        std::printf("%ld %ld\n", before, peakMemoryKb());
        return ways.messages() == 0 ? 0 : 1;
    }
    return 2;
}

// Runs measurePeak in a child; {before, peak} in KiB, or {-1, -1}.
std::pair<long, long> peakInChild(const char* variant, int count, const QString& folder) {
    QProcess child;
    child.start(
        QCoreApplication::applicationFilePath(),
        {QStringLiteral("--peak"), QString::fromLatin1(variant), QString::number(count), folder});
    if (!child.waitForFinished(600'000) || child.exitCode() != 0)
        return {-1, -1};
    const QList<QByteArray> numbers = child.readAllStandardOutput().trimmed().split(' ');
    if (numbers.size() != 2)
        return {-1, -1};
    return {numbers[0].toLong(), numbers[1].toLong()};
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir programFolder;
    if (argc == 5 && QByteArray(argv[1]) == "--peak")
        return measurePeak(programFolder.path(), QString::fromLatin1(argv[2]),
                           QString::fromLocal8Bit(argv[4]), std::atoi(argv[3]));

    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                  : QDir::tempPath() + QStringLiteral("/kalmora-bench-batchrun");
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
    QString folders[2];
    for (int c = 0; c < 2; ++c)
        folders[c] = prepareFolder(root, kCounts[c]);

    Ways ways(programFolder.path());
    std::vector<Variant>& variants = ways.variants();
    std::printf("%d rounds after a warm-up round, files of %d x %d, quality %d\n", rounds, kWidth,
                kHeight, kQuality);
    for (int round = -1; round < rounds; ++round) {
        for (int c = 0; c < 2; ++c) {
            for (Variant& variant : variants) {
                const Sample sample = measure(variant, folders[c], kCounts[c]);
                if (round >= 0)
                    variant.samples[c].push_back(sample);
            }
        }
        std::printf("round %d done\n", round + 1);
        std::fflush(stdout);
    }
    if (ways.messages() != 0)
        std::printf("%d message boxes: the run did not convert every file\n", ways.messages());

    for (int c = 0; c < 2; ++c) {
        const int count = kCounts[c];
        std::printf("\n%d files:\n", count);
        std::printf("  %-9s %10s %10s %10s %10s %14s %14s\n", "", "wall ms", "cpu ms", "wall/file",
                    "cpu/file", "peak MiB (+)", "output bytes");
        for (Variant& variant : variants) {
            std::vector<double> wall, cpu;
            for (const Sample& s : variant.samples[c]) {
                wall.push_back(s.wall * 1000);
                cpu.push_back(s.cpu * 1000);
            }
            variant.bytes[c] = outputBytes(folders[c], QString::fromLatin1(variant.prefix));
            const auto [before, peak] = peakInChild(variant.name, count, folders[c]);
            std::printf("  %-9s %10.1f %10.1f %10.1f %10.1f %6.1f (+%5.1f) %14lld\n", variant.name,
                        median(wall), median(cpu), median(wall) / count, median(cpu) / count,
                        static_cast<double>(peak) / 1024, static_cast<double>(peak - before) / 1024,
                        static_cast<long long>(variant.bytes[c]));
        }
        // Ratios turn by turn, so that the spread shows the machine's noise.
        for (int v = 0; v < 2; ++v) {
            std::vector<double> wallRatio, cpuRatio;
            for (std::size_t r = 0; r < variants[v].samples[c].size(); ++r) {
                wallRatio.push_back(variants[v].samples[c][r].wall /
                                    variants[2].samples[c][r].wall);
                cpuRatio.push_back(variants[v].samples[c][r].cpu / variants[2].samples[c][r].cpu);
            }
            const auto [wallMin, wallMax] = std::minmax_element(wallRatio.begin(), wallRatio.end());
            const auto [cpuMin, cpuMax] = std::minmax_element(cpuRatio.begin(), cpuRatio.end());
            std::printf("  %s/floor: wall %.3f (%.3f .. %.3f), cpu %.3f (%.3f .. %.3f)%s\n",
                        variants[v].name, median(wallRatio), *wallMin, *wallMax, median(cpuRatio),
                        *cpuMin, *cpuMax, v == 0 ? "   target <= 1.15" : "");
            // Interference only ever adds time: the best turns are the least disturbed.
            const auto best = [&](const Variant& variant) {
                double cpu = 1e30;
                for (const Sample& sample : variant.samples[c])
                    cpu = std::min(cpu, sample.cpu);
                return cpu;
            };
            std::printf("  %s/floor, best turns: cpu %.3f\n", variants[v].name,
                        best(variants[v]) / best(variants[2]));
        }
    }
    std::printf("\npeak MiB: VmHWM of a fresh process that ran that way once; (+): above what it "
                "held before\n");
    return 0;
}
