#pragma once

#include "platform/files/filedescriptor.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace platform {

// Writes a file whole or not at all. The bytes go to an anonymous file in the target's folder
// (O_TMPFILE: it has no name, so a crash or a kill leaves nothing behind), which gets its name
// only once every write and the close have succeeded: a new file is linked straight to the
// target's name; an existing one is replaced by linking to a hidden temporary name (beginning
// with ".") and renaming that over it at once. Where the file system has no anonymous files
// (vfat, network and many FUSE file systems) or /proc is missing (the link goes through
// /proc/self/fd), a hidden temporary file is written instead and renamed over the target; a crash
// during the writes leaves that one behind. Until the target is in place, and whenever a step
// fails, an earlier file of the target's name stays as it was and no name of ours is left.
//
// The replacement keeps an earlier file's permissions (and owner, where that may be set); a new
// file gets the usual permissions (0666 less the umask). A symbolic link is written through, so
// the file it leads to is replaced. No fsync: a batch of pictures would pay for it on every file,
// and a crash of the program still leaves the old file or the new one. A target the user may not
// write is never replaced: the rename would not ask, but the user protected the file to keep it.
class ReplacingFile {
public:
    // target: the path of the file to write; its last component must not be empty.
    explicit ReplacingFile(std::string target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the file to write. False when that fails (error() tells why), when something other
    // than a regular file has the target's name, or when the target is write-protected.
    bool open();
    // Writes all of bytes (retrying short writes). False when a write fails, e.g. the disk is full.
    bool write(std::span<const std::uint8_t> bytes) noexcept;
    // Flushes the written bytes to the device, for files whose loss would cost the user more than
    // the wait (the settings). False when the device reports an error.
    bool sync() noexcept;
    // Closes the written file; false when the close reports that data did not land.
    bool close();
    // Puts the closed file in the target's place. False when that fails. A new file's name taken
    // meanwhile (by another program, or by a link that leads nowhere) is replaced as an existing
    // file is, once it has been checked for write protection as open() checks one.
    bool replaceTarget();

    // The errno value of the first step that failed, 0 while none has.
    int error() const noexcept { return error_; }

private:
    bool fail() noexcept;
    bool openAnonymous(const std::string& folder);
    bool openNamed();
    bool mayReplaceTakenName();

    std::string target_;
    std::string temporary_; // a hidden name of ours, while it exists
    FileDescriptor file_;
    FileDescriptor anonymous_; // after close(): the anonymous file, kept for its link
    bool isAnonymous_ = false;
    bool existed_ = false; // the target existed when open() looked
    bool replaced_ = false;
    int error_ = 0;
};

// The file a symbolic link leads to (a file is written through its link); any other path, or a
// dangling link, as it is.
std::string resolvedTarget(const std::string& path);

// True when path (after following links) names a file that the effective user may not write to:
// its permissions or a read-only file system forbid it.
bool isWriteProtected(const std::string& path);

// Seams for tests.
namespace hooks {

// Which way ReplacingFile::open() may take.
enum class AnonymousFiles {
    AsTheSystemAllows,
    Refused,    // as on a file system without them: a hidden temporary file is written
    Unlinkable, // as without /proc: they are made but cannot be linked, so the same
};
void setAnonymousFiles(AnonymousFiles how);

} // namespace hooks

} // namespace platform
