#include "platform/windows/appinfo.h"

#include "platform/files/filenames.h"

#include <QCoreApplication>
#include <array>
#include <unistd.h>

namespace platform {

QString programFolder() {
    std::array<char, 4096> target{};
    const ssize_t length = ::readlink("/proc/self/exe", target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size())
        return QCoreApplication::applicationDirPath();
    const QString path = decodeName(QByteArrayView(target.data(), length));
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash > 0 ? path.left(slash) : QStringLiteral("/");
}

} // namespace platform
