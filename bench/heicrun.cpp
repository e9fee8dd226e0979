// The conversion run on folders of phone photos in HEIC, with the picture loader's read-ahead and
// without it: 12-megapixel single pictures (one HEVC stream each, decoded on one processor) and
// tiled grids as phones write them (8 x 6 tiles of 512, shown 4032 x 3024; libheif decodes their
// tiles on threads of its own). Both ways run in turns in one process, after a warm-up turn, from
// the main window ("&Umwandeln" clicked offscreen); their outputs must be byte-identical. The
// peak memory (VmHWM) of each way is taken once in a fresh process.
#include "bench/cli.h"
#include "bench/photolike.h"
#include "bench/timing.h"
#include "bench/windowrun.h"
#include "platform/picture/readahead.h"
#include "platform/windows/forms.h"
#include "platform/windows/interfacefont.h"
#include "platform/windows/messagebox.h"
#include "support/heifsamples.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr char kUsage[] = "bench_heicrun [--rounds N] [--files N] [folder]\n"
                          "  folder    keeps the generated sources between calls (default: "
                          "<temporary folder>/kalmora-bench-heicrun)\n"
                          "  --rounds  measured turns after the warm-up turn (default 3)\n"
                          "  --files   files of each kind (default 10)\n"
                          "bench_heicrun --peak on|off folder\n"
                          "  one run over the src*.heic of folder, in this process, with "
                          "read-ahead on or off; prints the\n"
                          "  memory held before and at the peak (KiB) and the wall time (ms)\n";

constexpr int kWidth = 4032;
constexpr int kHeight = 3024;
constexpr int kTile = 512;

struct Kind {
    const char* label;
    const char* stem;
    bool grid;
    const char* target;
};
const Kind kKinds[] = {
    {"single pictures", "single", false, "   target <= 0.55"},
    {"8 x 6 grids", "grid", true, ""},
};

QImage photo(int width, int height, int seed) {
    const std::vector<std::uint8_t> rgb = bench::photoLikePicture(width, height, seed);
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        std::copy_n(rgb.data() + static_cast<std::size_t>(y) * width * 3, width * 3,
                    image.scanLine(y));
    return image;
}

// <root>/<stem>/src000.heic ..., made once.
QString prepare(const QString& root, const Kind& kind, int count) {
    const QString folder = root + u'/' + QLatin1String(kind.stem);
    if (!QDir().mkpath(folder))
        bench::fail(QStringLiteral("cannot make the folder %1").arg(folder));
    for (int i = 0; i < count; ++i) {
        const QString path = QStringLiteral("%1/src%2.heic").arg(folder).arg(i, 3, 10, QChar(u'0'));
        if (QFileInfo::exists(path))
            continue;
        std::printf("generating %s ...\n", qPrintable(path));
        std::fflush(stdout);
        const QByteArray heic =
            kind.grid ? testsupport::heifGridFile(photo(8 * kTile, 6 * kTile, i + 1), 8, 6,
                                                  QSize(kWidth, kHeight), QSize(kWidth, kHeight))
                      : testsupport::heifFile(photo(kWidth, kHeight, i + 1));
        QFile file(path + QStringLiteral(".part"));
        if (heic.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(heic) != heic.size())
            bench::fail(QStringLiteral("cannot write %1").arg(path));
        file.close();
        if (!QFile::rename(file.fileName(), path))
            bench::fail(QStringLiteral("cannot rename %1").arg(file.fileName()));
    }
    return folder;
}

// The outputs of the last run, kept under the name of its way for the comparison.
void keepOutputs(const QString& folder, const char* way, int count) {
    for (int i = 0; i < count; ++i) {
        const QString output =
            QStringLiteral("%1/Foto%2.jpg").arg(folder).arg(i, 3, 10, QChar(u'0'));
        const QString kept = QStringLiteral("%1/%2-%3.jpg").arg(folder, QLatin1String(way)).arg(i);
        QFile::remove(kept);
        if (!QFile::rename(output, kept))
            bench::fail(QStringLiteral("the run wrote no %1").arg(output));
    }
}

bool sameOutputs(const QString& folder, int count) {
    for (int i = 0; i < count; ++i) {
        QFile on(QStringLiteral("%1/on-%2.jpg").arg(folder).arg(i));
        QFile off(QStringLiteral("%1/off-%2.jpg").arg(folder).arg(i));
        if (!on.open(QIODevice::ReadOnly) || !off.open(QIODevice::ReadOnly) ||
            on.readAll() != off.readAll())
            return false;
    }
    return true;
}

struct Peak {
    double mib;
    double wallMs;
};

Peak peakInFreshProcess(const QString& folder, const char* way) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--peak"), QLatin1String(way), folder});
    if (!child.waitForFinished(1'800'000) || child.exitCode() != 0)
        bench::fail(QStringLiteral("measuring the peak memory failed"));
    const QList<QByteArray> numbers = child.readAllStandardOutput().trimmed().split(' ');
    if (numbers.size() != 3)
        bench::fail(QStringLiteral("the peak memory could not be read"));
    return {static_cast<double>(numbers[1].toLong() - numbers[0].toLong()) / 1024,
            numbers[2].toDouble()};
}

int benchmark(int argc, char** argv) {
    const bench::Arguments arguments(
        argc, argv, kUsage,
        {QStringLiteral("rounds"), QStringLiteral("files"), QStringLiteral("peak")});
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::useInterfaceFont();
    const QTemporaryDir programFolder;
    platform::Forms forms(programFolder.path());
    forms.setLastWindowUnloaded({});
    int messages = 0;
    platform::setMessageBoxHandler([&](const platform::MessageBoxRequest& request) {
        std::printf("message: %s\n", qPrintable(request.prompt));
        ++messages;
        return static_cast<int>(platform::vbOK);
    });
    bench::WindowRun window(forms, false, QStringLiteral("src*.heic"));
    const QStringList& positional = arguments.positional(1);

    if (const QString peak = arguments.option(QStringLiteral("peak")); !peak.isEmpty()) {
        if ((peak != QLatin1String("on") && peak != QLatin1String("off")) || positional.size() != 1)
            arguments.wrong(QStringLiteral("--peak takes on or off and a folder"));
        platform::hooks::setReadAheadEnabled(peak == QLatin1String("on"));
        const long before = bench::peakMemoryKb();
        const bench::Sample run = window.convert(bench::Arguments::folder(positional[0]));
        std::printf("%ld %ld %.1f\n", before, bench::peakMemoryKb(), run.wallMs);
        return messages == 0 ? 0 : 1;
    }

    const int rounds = arguments.number(QStringLiteral("rounds"), 3);
    const int count = arguments.number(QStringLiteral("files"), 10);
    const QString root = bench::Arguments::folder(
        positional.isEmpty() ? QDir::tempPath() + QStringLiteral("/kalmora-bench-heicrun")
                             : positional[0]);
    for (const Kind& kind : kKinds) {
        const QString folder = prepare(root, kind, count);
        std::vector<double> on, off, ratios;
        for (int turn = -1; turn < rounds; ++turn) {
            for (int k = 0; k < 2; ++k) {
                const bool ahead = (turn % 2 != 0) == (k == 0);
                platform::hooks::setReadAheadEnabled(ahead);
                const double wall = window.convert(folder).wallMs;
                keepOutputs(folder, ahead ? "on" : "off", count);
                if (turn >= 0)
                    (ahead ? on : off).push_back(wall);
            }
            if (turn >= 0)
                ratios.push_back(on.back() / off.back());
            std::printf("%s: turn %d of %d done\n", kind.label, turn + 1, rounds);
            std::fflush(stdout);
        }
        const Peak peakOn = peakInFreshProcess(folder, "on");
        const Peak peakOff = peakInFreshProcess(folder, "off");
        std::printf("\n%d %s of %d x %d, %d turns:\n", count, kind.label, kWidth, kHeight, rounds);
        std::printf("  read-ahead off  wall %8.1f ms   peak %7.1f MiB\n", bench::median(off),
                    peakOff.mib);
        std::printf("  read-ahead on   wall %8.1f ms   peak %7.1f MiB\n", bench::median(on),
                    peakOn.mib);
        std::printf("  on/off wall     median of turns %.3f%s\n", bench::median(ratios),
                    kind.target);
        std::printf("  outputs: %s\n\n", sameOutputs(folder, count)
                                             ? "byte-identical either way"
                                             : "DIFFER between the two ways");
    }
    platform::setMessageBoxHandler({});
    if (messages != 0)
        std::printf("%d message boxes: a run did not convert every file\n", messages);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return bench::guarded([&] { return benchmark(argc, argv); });
}
