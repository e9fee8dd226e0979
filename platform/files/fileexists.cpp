#include "platform/files/fileexists.h"

#include "platform/files/filenames.h"

#include <sys/stat.h>

namespace platform {

bool FileExists(const QString& path) {
    struct stat status {};
    return !path.isEmpty() && ::stat(encodeName(path).constData(), &status) == 0 &&
           S_ISREG(status.st_mode);
}

} // namespace platform
