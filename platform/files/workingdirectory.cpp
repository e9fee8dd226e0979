#include "platform/files/workingdirectory.h"

#include "platform/files/filenames.h"

#include <QDir>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace platform {

QString workingDirectory() {
    const std::unique_ptr<char, decltype(&std::free)> path(::getcwd(nullptr, 0), &std::free);
    return path ? decodeName(path.get()) : QString();
}

QString absolutePath(const QString& path) {
    // Qt's own absolute paths read the working directory through its lossy name decoding.
    return QDir::cleanPath(path.startsWith(u'/') ? path : workingDirectory() + u'/' + path);
}

} // namespace platform
