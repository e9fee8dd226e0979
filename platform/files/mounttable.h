#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

namespace platform {

// One line of the kernel's table of mounts (/proc/self/mountinfo).
struct Mount {
    QString mountPoint; // escapes such as "\040" for a space decoded
    QString type;       // "ext4", "tmpfs", "fuse.sshfs", ...
    bool operator==(const Mount&) const = default;
};

// Every mount of a mountinfo text, in the order the text lists them; malformed lines are left out.
std::vector<Mount> parseMountInfo(const QByteArray& text);

// True for a mount that can hold the user's files: not a pseudo file system of the kernel, nothing
// mounted in /proc, /sys or /dev, and no tmpfs of the system's run-time folder /run.
bool holdsUserFiles(const Mount& mount);

// The mountinfo text of the running process. Tests hand in a text of their own with
// setMountInfoSource; an empty source restores the kernel's table.
QByteArray readMountInfo();
void setMountInfoSource(std::function<QByteArray()> source);

} // namespace platform
