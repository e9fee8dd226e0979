// Processor time of the file list's refresh: on folders of 100 to 10,000 pictures that just
// changed (as during a conversion run, once per file), and on a settled folder of 10,000 the idle
// refresh that the main window's timer runs ten times a second and a full reading.
//
//   bench_filelist_refresh [parent folder]   (default: the system's temporary folder)

#include "bench/cli.h"
#include "platform/controls/filelistbox.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <time.h>
#include <unistd.h>

namespace {

double processorSeconds() {
    timespec time{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &time);
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) * 1e-9;
}

// Processor time per call of action, in microseconds.
double perCall(int calls, const std::function<void()>& action) {
    const double start = processorSeconds();
    for (int i = 0; i < calls; ++i)
        action();
    return (processorSeconds() - start) * 1e6 / calls;
}

// Makes `count` files in folder: mostly pictures, some other files, mixed case as cameras and
// people write them.
void makeFiles(const QByteArray& folder, int first, int count) {
    static const char* const kinds[] = {"IMG_%05d.JPG", "img_%05d.jpg", "Scan %05d.bmp",
                                        "notes %05d.txt"};
    for (int i = first; i < first + count; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, kinds[i % 4], i);
        const int fd = ::open((folder + '/' + name).constData(), O_CREAT | O_WRONLY, 0644);
        if (fd < 0)
            bench::fail(QStringLiteral("cannot make %1: %2")
                            .arg(QString::fromLocal8Bit(name),
                                 QString::fromLocal8Bit(std::strerror(errno))));
        ::close(fd);
    }
}

constexpr char kUsage[] =
    "bench_filelist_refresh [parent folder]\n"
    "  parent folder  where the folder of 10,000 files is made (default: the temporary folder)\n";

int benchmark(int argc, char** argv) {
    const bench::Arguments arguments(argc, argv, kUsage, {});
    const QStringList& positional = arguments.positional(1);
    const QString parent =
        bench::Arguments::folder(positional.isEmpty() ? QDir::tempPath() : positional[0]);
    QTemporaryDir dir(parent + QStringLiteral("/kalmora-bench-XXXXXX"));
    if (!dir.isValid())
        bench::fail(
            QStringLiteral("cannot make a folder in %1: %2").arg(parent, dir.errorString()));
    const QByteArray folder = QFile::encodeName(dir.path());
    platform::FileListBox list;
    list.setPath(dir.path());
    list.setPattern(QStringLiteral("*.jpg;*.gif;*.bmp;*.dib"));

    // During a conversion run the timer's refresh comes once per file, just after that file's
    // output was added: it reads the folder every time, as one that changed just now.
    std::printf("refresh of a folder changed just now (once per file of a run), processor time:\n");
    int files = 0;
    for (const int size : {100, 1000, 10000}) {
        makeFiles(folder, files, size - files);
        files = size;
        std::printf("  %6d files: %8.0f us\n", files, perCall(20, [&] { list.Refresh(); }));
    }
    std::printf("folder %s: %d files, %d listed\n", folder.constData(), files, list.ListCount());
    // Wait until the folder has settled.
    QThread::msleep(3200);
    list.Refresh();
    const double idle = perCall(100000, [&] { list.Refresh(); });
    const double full = perCall(20, [&] { list.setPattern(list.Pattern()); });
    const double fullAll = perCall(20, [&] { list.setPattern(QStringLiteral("*.*")); });

    std::printf("idle refresh (nothing changed):          %8.2f us processor time\n", idle);
    std::printf("full reading, pattern of four types:     %8.0f us\n", full);
    std::printf("full reading, pattern \"*.*\":             %8.0f us\n", fullAll);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return bench::guarded([&] { return benchmark(argc, argv); });
}
