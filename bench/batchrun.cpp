// The conversion run on a folder of 12-megapixel photographs, against the floor of the same work,
// on 4:2:0 and on 4:4:4 sources. Three ways of converting the same files are measured in turns,
// after a warm-up turn, so that a change in the machine's load hits them all alike:
//   run       the real run, started from the main window as a user starts it;
//   pipeline  LoadPicture + CreateFromPicture + WriteJpegFile for each file, nothing else;
//   floor     read, decode into a reused buffer, encode with the same settings, write (floor.h).
// Each turn gives a run/floor ratio; the median of these, the ratio of the best turns and their
// spread are reported. The peak memory of each way (VmHWM) is measured in a fresh process of its
// own over N and over 2N files: it must not grow with the number of files. The outputs of the run
// and the pipeline are compared with the floor's, byte for byte.
#include "bench/cli.h"
#include "bench/floor.h"
#include "bench/sources.h"
#include "bench/timing.h"
#include "bench/windowrun.h"
#include "conversion/writejpegfile.h"
#include "image/cdibsection.h"
#include "platform/picture/loadpicture.h"
#include "platform/picture/readahead.h"
#include "platform/windows/forms.h"
#include "platform/windows/interfacefont.h"
#include "platform/windows/messagebox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr char kUsage[] =
    "bench_batchrun [--window offscreen|xcb] [--read-ahead on|off] [--rounds N] [--files N] "
    "[folder]\n"
    "  folder    keeps the generated sources between calls (default: "
    "<temporary folder>/kalmora-bench-batchrun)\n"
    "  --window  offscreen (default): the windows drawn in memory, \"&Umwandeln\" clicked;\n"
    "            xcb: the real window on an X server, \"&Umwandeln\" pressed from the keyboard\n"
    "            (Alt+U through xdotool); without DISPLAY it starts itself under xvfb-run\n"
    "  --read-ahead  on (default): the run's pictures are decoded ahead on the other processors;\n"
    "            off: each in its turn, as on one processor\n"
    "  --rounds  measured turns after the warm-up turn (default 9)\n"
    "  --files   files per turn, N (default 15); peak memory is taken over N and 2N files\n"
    "bench_batchrun [--window offscreen|xcb] [--read-ahead on|off] --peak run|pipeline|floor,N "
    "folder\n"
    "  one way once, in this process, over src000.jpg ... of folder (N of them; the run takes\n"
    "  every src*.jpg it lists); prints the memory held before and at the peak (KiB) and the\n"
    "  wall time (ms); handy under a profiler\n";

constexpr int kQuality = 20; // the program's default, what the run reads from the scroll bar
constexpr int kColdTurns = 9;

using bench::Sample;

QString outputName(const QString& folder, const char* prefix, int index) {
    return QStringLiteral("%1/%2%3.jpg")
        .arg(folder, QLatin1String(prefix))
        .arg(index, 3, 10, QChar(u'0'));
}

QString source(const QString& folder, int index) {
    return outputName(folder, "src", index);
}

struct Way {
    const char* name;
    const char* prefix; // of its output files
    std::function<Sample(const QString& folder, int count)> convert;
};

// The three ways, on the windows and buffers of one process.
class Ways {
public:
    Ways(const QString& programFolder, bool keyboard)
        : forms_(programFolder), window_(forms_, keyboard), floor_(kQuality) {
        forms_.setLastWindowUnloaded({});
        platform::setMessageBoxHandler([this](const platform::MessageBoxRequest& request) {
            std::printf("message: %s\n", qPrintable(request.prompt));
            ++messages_;
            return static_cast<int>(platform::vbOK);
        });
        ways_ = {
            {"run", "Foto", [this](const QString& folder, int) { return window_.convert(folder); }},
            {"pipeline", "pipe",
             [this](const QString& folder, int count) {
                 const bench::Mark start;
                 for (int i = 0; i < count; ++i) {
                     const platform::PictureDisp picture = platform::LoadPicture(source(folder, i));
                     buffer_.CreateFromPicture(picture);
                     WriteJpegFile(buffer_, outputName(folder, "pipe", i), kQuality);
                 }
                 buffer_.ClearUp();
                 return start.elapsed();
             }},
            {"floor", "floor",
             [this](const QString& folder, int count) {
                 const bench::Mark start;
                 for (int i = 0; i < count; ++i)
                     floor_.convert(source(folder, i), outputName(folder, "floor", i));
                 return start.elapsed();
             }},
        };
    }
    ~Ways() { platform::setMessageBoxHandler({}); }

    const std::vector<Way>& list() const { return ways_; }
    int messages() const { return messages_; }

private:
    platform::Forms forms_;
    bench::WindowRun window_;
    bench::Floor floor_;
    cDIBSection buffer_;
    std::vector<Way> ways_;
    int messages_ = 0;
};

// In a fresh process: the peak memory of one way over the files of folder, what the process held
// before it began, both in KiB, and the wall time the way took there, in ms.
int measurePeak(const QString& programFolder, bool keyboard, const QString& name,
                const QString& folder, int count) {
    Ways ways(programFolder, keyboard);
    for (const Way& way : ways.list()) {
        if (name != QLatin1String(way.name))
            continue;
        const long before = bench::peakMemoryKb();
        const Sample cold = way.convert(folder, count);
        std::printf("%ld %ld %.1f\n", before, bench::peakMemoryKb(), cold.wallMs);
        return ways.messages() == 0 ? 0 : 1;
    }
    bench::fail(QStringLiteral("no way is called %1").arg(name));
}

struct Fresh {
    double peakMiB; // above what the process held before
    double wallMs;
};

// Runs measurePeak in a child.
Fresh inFreshProcess(const QStringList& options, const char* way, const QString& folder,
                     int count) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                options + QStringList{QStringLiteral("--peak"),
                                      QStringLiteral("%1,%2").arg(QLatin1String(way)).arg(count),
                                      folder});
    if (!child.waitForFinished(1'800'000) || child.exitCode() != 0)
        bench::fail(
            QStringLiteral("measuring the peak memory of %1 failed").arg(QLatin1String(way)));
    const QList<QByteArray> numbers = child.readAllStandardOutput().trimmed().split(' ');
    if (numbers.size() != 3)
        bench::fail(
            QStringLiteral("the peak memory of %1 could not be read").arg(QLatin1String(way)));
    return {static_cast<double>(numbers[1].toLong() - numbers[0].toLong()) / 1024,
            numbers[2].toDouble()};
}

// Which outputs of a way differ from the floor's, byte for byte.
QStringList differingFromFloor(const QString& folder, const char* prefix, int count) {
    QStringList differing;
    for (int i = 0; i < count; ++i) {
        QFile ours(outputName(folder, prefix, i)), floor(outputName(folder, "floor", i));
        if (!ours.open(QIODevice::ReadOnly) || !floor.open(QIODevice::ReadOnly) ||
            ours.readAll() != floor.readAll())
            differing.append(QFileInfo(ours).fileName());
    }
    return differing;
}

struct SetResult {
    const bench::SourceSet* set;
    QString folder;
    std::vector<std::vector<Sample>> samples; // by way, by turn
};

void reportRatios(const char* what, const std::vector<Sample>& ours,
                  const std::vector<Sample>& floor, double Sample::*figure, const char* target) {
    std::vector<double> ratios;
    double bestOurs = 1e300, bestFloor = 1e300;
    for (std::size_t turn = 0; turn < ours.size(); ++turn) {
        ratios.push_back(ours[turn].*figure / floor[turn].*figure);
        bestOurs = std::min(bestOurs, ours[turn].*figure);
        bestFloor = std::min(bestFloor, floor[turn].*figure);
    }
    const auto [least, most] = std::minmax_element(ratios.begin(), ratios.end());
    std::printf("  %-18s median of turns %.3f   best turns %.3f   spread %.3f .. %.3f%s\n", what,
                bench::median(ratios), bestOurs / bestFloor, *least, *most, target);
}

// The run's wall time against the floor's: with read-ahead the other processors decode ahead, so
// the run goes well below the floor of one thread; without, it may only add a little to it.
QString target(const bench::SourceSet& set, bool readAhead) {
    if (!readAhead)
        return QStringLiteral("   target <= 1.05");
    return QString::fromLatin1(set.label) == QLatin1String("4:2:0")
               ? QStringLiteral("   target <= 0.70")
               : QStringLiteral("   target <= 0.75");
}

void report(const SetResult& result, const std::vector<Way>& ways, int count,
            const QStringList& options, bool readAhead) {
    const QString runTarget = target(*result.set, readAhead);
    std::printf("\n%s sources, %d files of %d x %d, %zu turns:\n", result.set->label, count,
                bench::kPhotoWidth, bench::kPhotoHeight, result.samples[0].size());
    std::printf("  %-9s %10s %10s %10s %10s %12s %12s\n", "", "wall ms", "cpu ms", "cpu/file",
                "faults", "peak MiB N", "peak MiB 2N");
    for (std::size_t w = 0; w < ways.size(); ++w) {
        std::vector<double> wall, cpu, faults;
        for (const Sample& s : result.samples[w]) {
            wall.push_back(s.wallMs);
            cpu.push_back(s.cpuMs);
            faults.push_back(s.faults);
        }
        const Fresh once = inFreshProcess(options, ways[w].name, result.folder, count);
        const Fresh twice =
            inFreshProcess(options, ways[w].name,
                           bench::linkFolder(QFileInfo(result.folder).absolutePath(),
                                             QStringLiteral("peak"), *result.set, 2 * count, count),
                           2 * count);
        std::printf("  %-9s %10.1f %10.1f %10.1f %10.0f %12.1f %12.1f\n", ways[w].name,
                    bench::median(wall), bench::median(cpu), bench::median(cpu) / count,
                    bench::median(faults), once.peakMiB, twice.peakMiB);
    }
    // A user starts the program, converts a folder and quits: that run touches its memory for
    // the first time. Run and floor, each in fresh processes, in turns.
    std::vector<double> cold;
    for (int turn = 0; turn < kColdTurns; ++turn)
        cold.push_back(inFreshProcess(options, ways.front().name, result.folder, count).wallMs /
                       inFreshProcess(options, ways.back().name, result.folder, count).wallMs);
    const auto [coldLeast, coldMost] = std::minmax_element(cold.begin(), cold.end());
    std::printf("  run/floor wall, cold (each in a fresh process, %d turns): median %.3f   spread "
                "%.3f .. %.3f%s\n",
                kColdTurns, bench::median(cold), *coldLeast, *coldMost, qPrintable(runTarget));
    const std::vector<Sample>& floor = result.samples.back();
    for (std::size_t w = 0; w + 1 < ways.size(); ++w) {
        const std::string name = ways[w].name;
        reportRatios((name + "/floor wall").c_str(), result.samples[w], floor, &Sample::wallMs,
                     w == 0 ? qPrintable(runTarget) : "");
        reportRatios((name + "/floor cpu").c_str(), result.samples[w], floor, &Sample::cpuMs, "");
        const QStringList differing = differingFromFloor(result.folder, ways[w].prefix, count);
        std::printf("  %s outputs: %s\n", ways[w].name,
                    differing.isEmpty() ? "byte-identical to the floor's"
                                        : qPrintable(QStringLiteral("differ from the floor's: ") +
                                                     differing.join(u' ')));
    }
}

// The real window needs an X server: without one, the benchmark starts itself again under
// xvfb-run, on a screen of 24-bit colour as a desktop has.
void runUnderXvfb(char** argv) {
    if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty())
        bench::fail(QStringLiteral("--window xcb needs an X server: set DISPLAY, or install xvfb "
                                   "(tools/install-deps installs it)"));
    std::vector<char*> arguments{const_cast<char*>("xvfb-run"), const_cast<char*>("-a"),
                                 const_cast<char*>("-s"),
                                 const_cast<char*>("-screen 0 1280x1024x24")};
    for (char** argument = argv; *argument; ++argument)
        arguments.push_back(*argument);
    arguments.push_back(nullptr);
    std::fflush(stdout);
    ::execvp("xvfb-run", arguments.data());
    bench::fail(QStringLiteral("cannot start xvfb-run"));
}

int benchmark(int argc, char** argv) {
    const bench::Arguments arguments(argc, argv, kUsage,
                                     {QStringLiteral("window"), QStringLiteral("read-ahead"),
                                      QStringLiteral("rounds"), QStringLiteral("files"),
                                      QStringLiteral("peak")});
    const QString window = arguments.option(QStringLiteral("window"), QStringLiteral("offscreen"));
    if (window != QLatin1String("offscreen") && window != QLatin1String("xcb"))
        arguments.wrong(QStringLiteral("--window is offscreen or xcb, not \"%1\"").arg(window));
    const bool keyboard = window == QLatin1String("xcb");
    if (keyboard && qEnvironmentVariableIsEmpty("DISPLAY"))
        runUnderXvfb(argv);
    qputenv("QT_QPA_PLATFORM", window.toLatin1());
    const QString readAhead = arguments.option(QStringLiteral("read-ahead"), QStringLiteral("on"));
    if (readAhead != QLatin1String("on") && readAhead != QLatin1String("off"))
        arguments.wrong(QStringLiteral("--read-ahead is on or off, not \"%1\"").arg(readAhead));
    platform::hooks::setReadAheadEnabled(readAhead == QLatin1String("on"));
    // What a child process measuring one way is started with.
    const QStringList windowOption{QStringLiteral("--window"), window,
                                   QStringLiteral("--read-ahead"), readAhead};
    const QStringList& positional = arguments.positional(1);
    const int rounds = arguments.number(QStringLiteral("rounds"), 9);
    const int count = arguments.number(QStringLiteral("files"), 15);

    QApplication app(argc, argv);
    platform::useInterfaceFont();
    const QTemporaryDir programFolder;

    if (const QString peak = arguments.option(QStringLiteral("peak")); !peak.isEmpty()) {
        const QStringList parts = peak.split(u',');
        if (parts.size() != 2 || positional.size() != 1)
            arguments.wrong(QStringLiteral("--peak takes way,count and a folder"));
        return measurePeak(programFolder.path(), keyboard, parts[0],
                           bench::Arguments::folder(positional[0]),
                           arguments.wholeNumber(parts[1], QStringLiteral("--peak count"), 1));
    }

    const QString root = bench::Arguments::folder(
        positional.isEmpty() ? QDir::tempPath() + QStringLiteral("/kalmora-bench-batchrun")
                             : positional[0]);
    bench::prepareSources(root, count);
    std::vector<SetResult> results;
    for (const bench::SourceSet& set : bench::kSourceSets)
        results.push_back(
            {&set,
             bench::linkFolder(root,
                               QStringLiteral("run") + QString::fromLatin1(set.label).remove(u':'),
                               set, count, count),
             {}});

    Ways ways(programFolder.path(), keyboard);
    for (SetResult& result : results)
        result.samples.resize(ways.list().size());
    std::printf("%s window, read-ahead %s, %d turns after a warm-up turn, %d files each, quality "
                "%d\n",
                qPrintable(window), qPrintable(readAhead), rounds, count, kQuality);
    for (int turn = -1; turn < rounds; ++turn) {
        // Every other turn takes the ways in the opposite order, so that none always follows
        // another.
        const std::size_t n = ways.list().size();
        for (SetResult& result : results)
            for (std::size_t k = 0; k < n; ++k) {
                const std::size_t w = turn % 2 != 0 ? n - 1 - k : k;
                const Sample sample = ways.list()[w].convert(result.folder, count);
                if (turn >= 0)
                    result.samples[w].push_back(sample);
            }
        std::printf("turn %d of %d done\n", turn + 1, rounds);
        std::fflush(stdout);
    }
    if (ways.messages() != 0)
        std::printf("%d message boxes: the run did not convert every file\n", ways.messages());
    for (const SetResult& result : results)
        report(result, ways.list(), count, windowOption, readAhead == QLatin1String("on"));
    std::printf(
        "\nmedians over the turns; faults: minor page faults per turn; peak MiB: VmHWM of a "
        "fresh process that ran that way once over N or 2N files, above what it held "
        "before\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return bench::guarded([&] { return benchmark(argc, argv); });
}
