#pragma once

#include "platform/files/mounttable.h"

#include <QString>
#include <optional>
#include <vector>

namespace platform {

// A drive is a mounted file system that can hold the user's files. Its text, as the drive list
// shows it, is its mount point followed by a blank and its type in brackets: "/ [ext4]".
struct Drive {
    QString mountPoint;
    QString type;

    QString text() const;
    bool operator==(const Drive&) const = default;
};

// The drives of a mountinfo text: the mounts that hold user files, one per mount point (a later
// mount hides an earlier one on the same point), sorted by mount point.
std::vector<Drive> drivesOf(const QByteArray& mountInfo);
// The drives of the running system, ready or not.
std::vector<Drive> systemDrives();

// True when the drive's mount point is a folder that can be opened now.
bool isReady(const Drive& drive);

// The drive that `text` names: the drive whose text it is, else the drive with the longest mount
// point that begins the path (whole folder names only: "/home" begins "/home/ann" but not
// "/homes"). Nothing for a relative path or one that no drive's mount point begins.
std::optional<Drive> driveOf(const std::vector<Drive>& drives, const QString& text);

// The folder a drive opens when it is chosen: the program's working directory for the drive that
// holds it, the mount point for every other drive.
QString currentFolder(const std::vector<Drive>& drives, const Drive& drive);

} // namespace platform
