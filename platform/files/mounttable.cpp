#include "platform/files/mounttable.h"

#include "platform/files/filenames.h"

#include <QFile>
#include <QSet>

namespace platform {

namespace {

std::function<QByteArray()>& source() {
    static std::function<QByteArray()> instance;
    return instance;
}

bool isOctal(char c) {
    return c >= '0' && c <= '7';
}

// The kernel writes space, tab, newline and backslash in a path as a backslash and three octal
// digits.
QString decodeField(const QByteArray& field) {
    QByteArray bytes;
    bytes.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) &&
            isOctal(field[i + 2]) && isOctal(field[i + 3])) {
            bytes.append(static_cast<char>(((field[i + 1] - '0') << 6) |
                                           ((field[i + 2] - '0') << 3) | (field[i + 3] - '0')));
            i += 3;
        } else {
            bytes.append(field[i]);
        }
    }
    return decodeName(bytes);
}

bool isBelow(const QString& path, QLatin1String folder) {
    return path == folder || (path.startsWith(folder) && path.at(folder.size()) == u'/');
}

} // namespace

std::vector<Mount> parseMountInfo(const QByteArray& text) {
    std::vector<Mount> mounts;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        // ID, parent ID, device, root, mount point, options, optional fields, "-", type, source,
        // super-block options.
        const qsizetype separator = fields.indexOf("-", 6);
        if (fields.size() < 7 || separator < 0 || separator + 1 >= fields.size())
            continue;
        mounts.push_back({decodeField(fields[4]), decodeField(fields[separator + 1])});
    }
    return mounts;
}

bool holdsUserFiles(const Mount& mount) {
    static const QSet<QString> pseudo = {
        QStringLiteral("autofs"),
        QStringLiteral("binfmt_misc"),
        QStringLiteral("bpf"),
        QStringLiteral("cgroup"),
        QStringLiteral("cgroup2"),
        QStringLiteral("configfs"),
        QStringLiteral("debugfs"),
        QStringLiteral("devpts"),
        QStringLiteral("devtmpfs"),
        QStringLiteral("efivarfs"),
        QStringLiteral("fuse.gvfsd-fuse"),
        QStringLiteral("fuse.portal"),
        QStringLiteral("fusectl"),
        QStringLiteral("hugetlbfs"),
        QStringLiteral("mqueue"),
        QStringLiteral("nsfs"),
        QStringLiteral("proc"),
        QStringLiteral("pstore"),
        QStringLiteral("rpc_pipefs"),
        QStringLiteral("securityfs"),
        QStringLiteral("selinuxfs"),
        QStringLiteral("sysfs"),
        QStringLiteral("tracefs"),
    };
    if (!mount.mountPoint.startsWith(u'/') || pseudo.contains(mount.type))
        return false;
    if (isBelow(mount.mountPoint, QLatin1String("/proc")) ||
        isBelow(mount.mountPoint, QLatin1String("/sys")) ||
        isBelow(mount.mountPoint, QLatin1String("/dev")))
        return false;
    // Removable media are mounted below /run/media on some systems; only the tmpfs are the
    // system's own.
    return !(mount.type == QLatin1String("tmpfs") &&
             isBelow(mount.mountPoint, QLatin1String("/run")));
}

QByteArray readMountInfo() {
    if (source())
        return source()();
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void setMountInfoSource(std::function<QByteArray()> newSource) {
    source() = std::move(newSource);
}

} // namespace platform
