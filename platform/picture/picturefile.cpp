#include "platform/picture/picturefile.h"

#include "platform/errors/runtimeerror.h"
#include "platform/files/filedescriptor.h"
#include "platform/files/filenames.h"
#include "platform/picture/decodetarget.h"
#include "platform/picture/pictureformat.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/stat.h>

namespace platform {

namespace {

// One buffer per thread, grown as needed, so that a run over many files does not allocate (and
// fault in) fresh memory for each of them. It grows with room to spare: the photos of one camera
// differ in size by a few tens of percent, and a buffer made to measure would be made anew for
// each larger one. Room that no file used is never touched. After an unusually large file it
// shrinks again.
struct ReadBuffer {
    static constexpr std::size_t KeptAtMost = std::size_t{64} << 20;
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t capacity = 0;

    std::uint8_t* reserve(std::size_t size) {
        if (size > capacity || (capacity > KeptAtMost && size <= KeptAtMost)) {
            bytes.reset();
            capacity = 0;
            const std::size_t room = std::max(size, std::min(size + size / 2, KeptAtMost));
            bytes = std::make_unique_for_overwrite<std::uint8_t[]>(room);
            capacity = room;
        }
        return bytes.get();
    }
};

[[noreturn]] void raiseOpenError(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        raise(ErrFileNotFound);
    case ENOMEM:
        raise(ErrOutOfMemory);
    default:
        raise(ErrPathFileAccess);
    }
}

// Reads up to `size` bytes; fewer when the file ends first (it may shrink meanwhile).
std::size_t readUpTo(int file, std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(file, data + done, size - done);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            raise(ErrPathFileAccess);
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

} // namespace

std::span<const std::uint8_t> readPictureFile(const QString& path) {
    if (path.isEmpty())
        raise(ErrFileNotFound);
    const QByteArray name = encodeName(path);
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const FileDescriptor file(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0)
        raiseOpenError(errno);
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        raise(ErrPathFileAccess);

    // The first bytes decide whether the rest is worth reading: a video or an archive costs no
    // more than them, however large it is.
    std::array<std::uint8_t, FormatHeadBytes> head;
    const std::size_t headBytes = readUpTo(file.get(), head.data(), head.size());
    const PictureFormat format = pictureFormat({head.data(), headBytes});
    if (format == PictureFormat::None || info.st_size > largestPictureFile(format))
        raise(ErrInvalidPicture);
    if (!fitsIntoMemory(info.st_size))
        raise(ErrOutOfMemory);

    static thread_local ReadBuffer buffer;
    const auto size = std::max(static_cast<std::size_t>(info.st_size), headBytes);
    std::uint8_t* data = nullptr;
    try {
        data = buffer.reserve(size);
    } catch (const std::bad_alloc&) {
        raise(ErrOutOfMemory);
    }
    std::copy_n(head.data(), headBytes, data);
    if (headBytes < head.size())
        return {data, headBytes};
    return {data, headBytes + readUpTo(file.get(), data + headBytes, size - headBytes)};
}

} // namespace platform
