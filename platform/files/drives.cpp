#include "platform/files/drives.h"

#include "platform/files/filenames.h"
#include "platform/files/workingdirectory.h"

#include <QDir>
#include <algorithm>
#include <dirent.h>
#include <memory>

namespace platform {

namespace {

// True when the folder `path` lies in the folder `mountPoint` (or is it).
bool begins(const QString& mountPoint, const QString& path) {
    if (!path.startsWith(mountPoint))
        return false;
    return path.size() == mountPoint.size() || mountPoint.endsWith(u'/') ||
           path.at(mountPoint.size()) == u'/';
}

} // namespace

QString Drive::text() const {
    return mountPoint + QStringLiteral(" [") + type + u']';
}

std::vector<Drive> drivesOf(const QByteArray& mountInfo) {
    std::vector<Drive> drives;
    for (const Mount& mount : parseMountInfo(mountInfo)) {
        const auto same = std::find_if(drives.begin(), drives.end(), [&](const Drive& drive) {
            return drive.mountPoint == mount.mountPoint;
        });
        if (same != drives.end())
            drives.erase(same);
        if (holdsUserFiles(mount))
            drives.push_back({mount.mountPoint, mount.type});
    }
    std::sort(drives.begin(), drives.end(),
              [](const Drive& a, const Drive& b) { return a.mountPoint < b.mountPoint; });
    return drives;
}

std::vector<Drive> systemDrives() {
    return drivesOf(readMountInfo());
}

bool isReady(const Drive& drive) {
    const std::unique_ptr<DIR, int (*)(DIR*)> folder(
        ::opendir(encodeName(drive.mountPoint).constData()), &::closedir);
    return folder != nullptr;
}

std::optional<Drive> driveOf(const std::vector<Drive>& drives, const QString& text) {
    for (const Drive& drive : drives) {
        if (drive.text() == text)
            return drive;
    }
    if (!text.startsWith(u'/'))
        return std::nullopt;
    const QString path = QDir::cleanPath(text);
    std::optional<Drive> found;
    for (const Drive& drive : drives) {
        if (begins(drive.mountPoint, path) &&
            (!found || drive.mountPoint.size() > found->mountPoint.size()))
            found = drive;
    }
    return found;
}

QString currentFolder(const std::vector<Drive>& drives, const Drive& drive) {
    const QString working = workingDirectory();
    const std::optional<Drive> holder = driveOf(drives, working);
    return holder && *holder == drive ? working : drive.mountPoint;
}

} // namespace platform
