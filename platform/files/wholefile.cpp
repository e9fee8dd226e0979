#include "platform/files/wholefile.h"

#include "platform/files/filedescriptor.h"
#include "platform/files/replacingfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <span>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

bool writeAll(int fd, std::string_view data, off_t offset) {
    while (!data.empty()) {
        const ssize_t written = ::pwrite(fd, data.data(), data.size(), offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(written));
        offset += written;
    }
    return true;
}

// The safe way: a file of its own beside the target, synced and put in its place when complete.
// Returns 0 when the target was replaced, else the error that stopped it (the target is then
// untouched).
int writeBeside(const std::string& target, std::string_view content) {
    ReplacingFile file(target);
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
    if (file.open() && file.write(bytes) && file.sync() && file.close() && file.replaceTarget())
        return 0;
    return file.error();
}

// The fallback: rewriting the file itself. The part beyond the old end goes first, so that a full
// disk fails while the old content is still whole (and is cut back to its old size); overwriting
// the old bytes then needs no new space.
bool writeInPlace(const std::string& target, std::string_view content) {
    bool created = false;
    FileDescriptor file(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid() && errno == ENOENT) {
        file =
            FileDescriptor(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        created = file.valid();
    }
    if (!file.valid())
        return false;
    const auto fail = [&] {
        if (created)
            ::unlink(target.c_str());
        return false;
    };
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return fail();
    const auto oldSize = static_cast<std::size_t>(status.st_size);
    if (content.size() > oldSize &&
        !(writeAll(file.get(), content.substr(oldSize), static_cast<off_t>(oldSize)) &&
          ::fsync(file.get()) == 0)) {
        [[maybe_unused]] const int cut = ::ftruncate(file.get(), static_cast<off_t>(oldSize));
        return fail();
    }
    bool ok = writeAll(file.get(), content.substr(0, std::min(oldSize, content.size())), 0) &&
              (content.size() >= oldSize ||
               ::ftruncate(file.get(), static_cast<off_t>(content.size())) == 0) &&
              ::fsync(file.get()) == 0;
    ok = file.close() && ok;
    return ok || fail();
}

} // namespace

WholeFile readWholeFile(const std::string& path) {
    WholeFile result;
    // Non-blocking, so that a FIFO in the file's place cannot hang the program.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (!file.valid()) {
        result.status =
            (errno == ENOENT || errno == ENOTDIR) ? WholeFile::Missing : WholeFile::Failed;
        return result;
    }
    result.status = WholeFile::Failed;
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return result;
    std::string data(static_cast<std::size_t>(status.st_size) + 1, '\0');
    std::size_t length = 0;
    for (;;) {
        if (length == data.size())
            data.resize(data.size() * 2); // the file grew while we read it
        const ssize_t got = ::read(file.get(), data.data() + length, data.size() - length);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return result;
        if (got == 0)
            break;
        length += static_cast<std::size_t>(got);
    }
    data.resize(length);
    result.status = WholeFile::Read;
    result.data = std::move(data);
    return result;
}

bool replaceWholeFile(const std::string& path, std::string_view content) {
    const std::string target = resolvedTarget(path);
    struct stat status {};
    const bool exists = ::stat(target.c_str(), &status) == 0;
    // A folder or device in the way, a folder on the way missing or a file, or a file the user
    // may not write (the rename of the temporary file would not ask).
    if (exists ? !S_ISREG(status.st_mode) || isWriteProtected(target) : errno != ENOENT)
        return false;
    const int error = writeBeside(target, content);
    if (error == 0)
        return true;
    // A failing device is left alone; anything else (no room for another file, a folder we may
    // not create in, a name too long for the temporary file) leaves the file itself to write.
    return error != EIO && writeInPlace(target, content);
}

} // namespace platform
