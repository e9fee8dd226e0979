// Processor time of the file list's refresh on a folder of 10,000 pictures: the idle refresh that
// the main window's timer runs ten times a second, and a full reading of the folder.
//
//   bench_filelist_refresh [parent folder]   (default: the system's temporary folder)

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

} // namespace

int main(int argc, char** argv) {
    const QString parent = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    QTemporaryDir dir(parent + QStringLiteral("/kalmora-bench-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a folder in %s\n", qPrintable(parent));
        return 1;
    }
    constexpr int files = 10000;
    const QByteArray folder = QFile::encodeName(dir.path());
    for (int i = 0; i < files; ++i) {
        // Mostly pictures, some other files, mixed case as cameras and people write them.
        static const char* const kinds[] = {"IMG_%05d.JPG", "img_%05d.jpg", "Scan %05d.bmp",
                                            "notes %05d.txt"};
        char name[64];
        std::snprintf(name, sizeof name, kinds[i % 4], i);
        const int fd = ::open((folder + '/' + name).constData(), O_CREAT | O_WRONLY, 0644);
        if (fd < 0) {
            std::perror(name);
            return 1;
        }
        ::close(fd);
    }

    platform::FileListBox list;
    list.setPath(dir.path());
    list.setPattern(QStringLiteral("*.jpg;*.gif;*.bmp;*.dib"));
    std::printf("folder %s: %d files, %d listed\n", folder.constData(), files, list.ListCount());

    const double young = perCall(20, [&] { list.Refresh(); });
    // A folder changed moments ago is read on every refresh; wait until it has settled.
    QThread::msleep(3200);
    list.Refresh();
    const double idle = perCall(100000, [&] { list.Refresh(); });
    const double full = perCall(20, [&] { list.setPattern(list.Pattern()); });
    const double fullAll = perCall(20, [&] { list.setPattern(QStringLiteral("*.*")); });

    std::printf("idle refresh (nothing changed):          %8.2f us processor time\n", idle);
    std::printf("refresh of a folder changed just now:    %8.0f us\n", young);
    std::printf("full reading, pattern of four types:     %8.0f us\n", full);
    std::printf("full reading, pattern \"*.*\":             %8.0f us\n", fullAll);
    return 0;
}
