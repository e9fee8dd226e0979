#pragma once

#include "platform/files/filedescriptor.h"
#include "platform/picture/pictureformat.h"

#include <QString>
#include <array>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <span>

namespace platform {

// What tells one file apart from another, and from its own earlier content: a file replaced or
// rewritten since it was read differs in at least one of these (a copy that keeps inode, size
// and modification time over the old file still changes the change time).
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    timespec modified{};
    timespec changed{};

    bool operator==(const FileIdentity& other) const noexcept;
};

// The identity of the file a path leads to (through symbolic links); nothing when there is none.
std::optional<FileIdentity> fileIdentity(const QString& path);

// Room for a file's bytes, reused from one file to the next: a run over many files then does not
// allocate (and fault in) fresh memory for each. It grows with room to spare: the photos of one
// camera differ in size by a few tens of percent, and a buffer made to measure would be made anew
// for each larger one. Room that no file used is never touched. After an unusually large file it
// shrinks again.
class ReadBuffer {
public:
    // At least size bytes; throws std::bad_alloc.
    std::uint8_t* reserve(std::size_t size);

private:
    static constexpr std::size_t KeptAtMost = std::size_t{64} << 20;
    std::unique_ptr<std::uint8_t[]> bytes_;
    std::size_t capacity_ = 0;
};

// A picture file opened for reading, its first bytes read and its format known. Never blocks on a
// special file: the file is opened without waiting and only a regular file is read.
class PictureFile {
public:
    // Throws RuntimeError: 481 when the first bytes are no picture the loader decodes (an empty
    // file too) or the file is too large for its format, 53 when the file does not exist (a
    // dangling symlink too), 75 when it exists but cannot be opened or read (a folder, a FIFO, a
    // device, a symlink loop, an I/O error), 7 when its content would not fit into memory.
    explicit PictureFile(const QString& path);

    // The file as it was when it was opened.
    const FileIdentity& identity() const noexcept { return identity_; }
    // Bytes the whole file holds: what read() needs.
    std::size_t size() const noexcept;

    // Reads the whole file, once, into buffer (the span stays valid while the buffer is not
    // reserved again). Throws RuntimeError: 75 when a read fails, 7 when the buffer cannot grow.
    std::span<const std::uint8_t> read(ReadBuffer& buffer);

private:
    FileDescriptor file_;
    FileIdentity identity_;
    std::array<std::uint8_t, FormatHeadBytes> head_{};
    std::size_t headBytes_ = 0;
};

// Reads a picture file whole, as PictureFile does, into a buffer that is reused by the next call on
// the same thread (the span stays valid until then). Throws as PictureFile does.
std::span<const std::uint8_t> readPictureFile(const QString& path);

} // namespace platform
