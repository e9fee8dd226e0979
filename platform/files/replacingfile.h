#pragma once

#include "platform/files/filedescriptor.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace platform {

// Writes a file whole or not at all. The bytes go to a hidden temporary file (its name begins
// with ".") in the target's folder; only when every write and the close have succeeded does it
// replace the target, in one rename. Until then, and whenever a step fails, an earlier file of
// the target's name stays as it was, and the temporary file is removed again. The replacement
// keeps an earlier file's permissions (and owner, where that may be set); a symbolic link is
// written through, so the file it leads to is replaced. No fsync: a batch of pictures would pay
// for it on every file, and a crash of the program still leaves the old file or the new one.
// A target the user may not write is never replaced: the rename would not ask, but the user
// protected the file to keep it.
class ReplacingFile {
public:
    // target: the path of the file to write; its last component must not be empty.
    explicit ReplacingFile(std::string target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary file. False when that fails (error() tells why), when something
    // other than a regular file has the target's name, or when the target is write-protected.
    bool open();
    // Writes all of bytes (retrying short writes). False when a write fails, e.g. the disk is full.
    bool write(std::span<const std::uint8_t> bytes) noexcept;
    // Flushes the written bytes to the device, for files whose loss would cost the user more than
    // the wait (the settings). False when the device reports an error.
    bool sync() noexcept;
    // Closes the temporary file; false when the close reports that data did not land.
    bool close();
    // Renames the closed temporary file over the target. False when that fails.
    bool replaceTarget();

    // The errno value of the first step that failed, 0 while none has.
    int error() const noexcept { return error_; }
    // The temporary file's path (empty before open()).
    const std::string& temporaryPath() const noexcept { return temporary_; }

private:
    bool fail() noexcept;

    std::string target_;
    std::string temporary_;
    FileDescriptor file_;
    bool replaced_ = false;
    int error_ = 0;
};

// The file a symbolic link leads to (a file is written through its link); any other path, or a
// dangling link, as it is.
std::string resolvedTarget(const std::string& path);

// True when path (after following links) names a file that the effective user may not write to:
// its permissions or a read-only file system forbid it.
bool isWriteProtected(const std::string& path);

} // namespace platform
