#include "platform/files/openforreading.h"

#include "platform/errors/runtimeerror.h"
#include "platform/files/filedescriptor.h"
#include "platform/files/filenames.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

namespace {

[[noreturn]] void raiseFor(int error) {
    switch (error) {
    case ENOENT:
        raise(ErrFileNotFound);
    case ENOTDIR:
        raise(ErrPathNotFound);
    case ENAMETOOLONG:
        raise(ErrBadFileName);
    default:
        raise(ErrPathFileAccess);
    }
}

} // namespace

void OpenForReading(const QString& path) {
    if (path.isEmpty())
        raise(ErrBadFileName);
    const QByteArray name = encodeName(path);
    struct stat status {};
    if (::stat(name.constData(), &status) != 0)
        raiseFor(errno);
    if (!S_ISREG(status.st_mode))
        raise(ErrPathFileAccess);
    // Non-blocking as well: the path may have been replaced by a pipe since it was looked at.
    const FileDescriptor file(
        ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.valid())
        raiseFor(errno);
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        raise(ErrPathFileAccess);
}

} // namespace platform
