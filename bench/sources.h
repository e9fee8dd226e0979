#pragma once

// The photographs the conversion benchmarks work on: generated once into <root>/sources and kept
// there between calls, each picture saved twice, with 4:2:0 and with 4:4:4 sampling.

#include "bench/cli.h"
#include "bench/photolike.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <memory>
#include <turbojpeg.h>
#include <vector>

namespace bench {

constexpr int kPhotoWidth = 4000;
constexpr int kPhotoHeight = 3000;

struct SourceSet {
    const char* label;
    const char* stem; // of the file names in <root>/sources
    int sampling;     // TJSAMP_...
    int quality;
};

// Cameras save 4:2:0 at high quality, many cameras and editors 4:4:4 at the highest.
inline const SourceSet kSourceSets[] = {
    {"4:2:0", "photo420-", TJSAMP_420, 90},
    {"4:4:4", "photo444-", TJSAMP_444, 95},
};

inline QString sourcePath(const QString& root, const SourceSet& set, int index) {
    return QStringLiteral("%1/sources/%2%3.jpg").arg(root, QLatin1String(set.stem)).arg(index);
}

namespace detail {

inline void writeJpeg(const std::vector<std::uint8_t>& rgb, const SourceSet& set,
                      const QString& path) {
    const std::unique_ptr<void, int (*)(void*)> encoder(tjInitCompress(), tjDestroy);
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    if (!encoder || tjCompress2(encoder.get(), rgb.data(), kPhotoWidth, 0, kPhotoHeight, TJPF_RGB,
                                &jpeg, &size, set.sampling, set.quality, 0) != 0)
        fail(QStringLiteral("cannot encode a source: %1")
                 .arg(QString::fromUtf8(tjGetErrorStr2(encoder.get()))));
    const std::unique_ptr<unsigned char, void (*)(unsigned char*)> owned(jpeg, tjFree);
    // Written under a temporary name, so that an interrupted run leaves no half source behind.
    QFile file(path + QStringLiteral(".part"));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(jpeg), static_cast<qint64>(size)) !=
            static_cast<qint64>(size) ||
        !file.flush())
        fail(QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString()));
    file.close();
    QFile::remove(path);
    if (!QFile::rename(file.fileName(), path))
        fail(QStringLiteral("cannot rename %1 to %2").arg(file.fileName(), path));
}

} // namespace detail

// Makes the first `count` sources of every set that are not there yet.
inline void prepareSources(const QString& root, int count) {
    if (!QDir().mkpath(root + QStringLiteral("/sources")))
        fail(QStringLiteral("cannot make the folder %1/sources").arg(root));
    for (int i = 0; i < count; ++i) {
        std::vector<std::uint8_t> rgb;
        for (const SourceSet& set : kSourceSets) {
            const QString path = sourcePath(root, set, i);
            if (QFileInfo::exists(path))
                continue;
            std::printf("generating %s ...\n", qPrintable(path));
            std::fflush(stdout);
            if (rgb.empty())
                rgb = photoLikePicture(kPhotoWidth, kPhotoHeight, i + 1);
            detail::writeJpeg(rgb, set, path);
        }
    }
}

// A fresh folder <root>/<name> with `count` links src000.jpg ... to the set's first `distinct`
// sources, taken in turn.
inline QString linkFolder(const QString& root, const QString& name, const SourceSet& set, int count,
                          int distinct) {
    const QString folder = root + u'/' + name;
    QDir(folder).removeRecursively();
    if (!QDir().mkpath(folder))
        fail(QStringLiteral("cannot make the folder %1").arg(folder));
    for (int i = 0; i < count; ++i) {
        const QString link = folder + QStringLiteral("/src%1.jpg").arg(i, 3, 10, QChar(u'0'));
        if (!QFile::link(sourcePath(root, set, i % distinct), link))
            fail(QStringLiteral("cannot make the link %1").arg(link));
    }
    return folder;
}

} // namespace bench
