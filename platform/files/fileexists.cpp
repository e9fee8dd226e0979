#include "platform/files/fileexists.h"

#include <QFileInfo>

namespace platform {

bool FileExists(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isFile();
}

} // namespace platform
