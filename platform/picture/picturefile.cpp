#include "platform/picture/picturefile.h"

#include "platform/errors/runtimeerror.h"
#include "platform/files/filenames.h"
#include "platform/picture/decodetarget.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>

namespace platform {

namespace {

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

FileIdentity identityOf(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
            static_cast<std::int64_t>(info.st_size), info.st_mtim, info.st_ctim};
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

bool FileIdentity::operator==(const FileIdentity& other) const noexcept {
    return device == other.device && inode == other.inode && size == other.size &&
           sameTime(modified, other.modified) && sameTime(changed, other.changed);
}

std::optional<FileIdentity> fileIdentity(const QString& path) {
    struct stat info {};
    if (path.isEmpty() || ::stat(encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return identityOf(info);
}

std::uint8_t* ReadBuffer::reserve(std::size_t size) {
    if (size > capacity_ || (capacity_ > KeptAtMost && size <= KeptAtMost)) {
        bytes_.reset();
        capacity_ = 0;
        const std::size_t room = std::max(size, std::min(size + size / 2, KeptAtMost));
        bytes_ = std::make_unique_for_overwrite<std::uint8_t[]>(room);
        capacity_ = room;
    }
    return bytes_.get();
}

PictureFile::PictureFile(const QString& path) {
    if (path.isEmpty())
        raise(ErrFileNotFound);
    const QByteArray name = encodeName(path);
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    file_ = FileDescriptor(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file_.valid())
        raiseOpenError(errno);
    struct stat info {};
    if (::fstat(file_.get(), &info) != 0 || !S_ISREG(info.st_mode))
        raise(ErrPathFileAccess);
    identity_ = identityOf(info);

    // The first bytes decide whether the rest is worth reading: a video or an archive costs no
    // more than them, however large it is.
    headBytes_ = readUpTo(file_.get(), head_.data(), head_.size());
    const PictureFormat format = pictureFormat({head_.data(), headBytes_});
    if (format == PictureFormat::None || info.st_size > largestPictureFile(format))
        raise(ErrInvalidPicture);
    if (!fitsIntoMemory(info.st_size))
        raise(ErrOutOfMemory);
}

std::size_t PictureFile::size() const noexcept {
    return std::max(static_cast<std::size_t>(identity_.size), headBytes_);
}

std::span<const std::uint8_t> PictureFile::read(ReadBuffer& buffer) {
    const std::size_t total = size();
    std::uint8_t* data = nullptr;
    try {
        data = buffer.reserve(total);
    } catch (const std::bad_alloc&) {
        raise(ErrOutOfMemory);
    }
    std::copy_n(head_.data(), headBytes_, data);
    if (headBytes_ < head_.size())
        return {data, headBytes_};
    return {data, headBytes_ + readUpTo(file_.get(), data + headBytes_, total - headBytes_)};
}

std::span<const std::uint8_t> readPictureFile(const QString& path) {
    static thread_local ReadBuffer buffer;
    PictureFile file(path);
    return file.read(buffer);
}

} // namespace platform
