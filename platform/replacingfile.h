#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace platform {

// Writes a file whole or not at all. The bytes go to a hidden temporary file (its name begins
// with ".") in the target's folder; only when every write and the close have succeeded does it
// replace the target, in one rename. Until then, and whenever a step fails, an earlier file of
// the target's name stays as it was, and the temporary file is removed again.
class ReplacingFile {
public:
    // target: the path of the file to write; its last component must not be empty.
    explicit ReplacingFile(std::string target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary file. False when that fails (error() tells why).
    bool open();
    // Writes all of bytes (retrying short writes). False when a write fails, e.g. the disk is full.
    bool write(std::span<const std::uint8_t> bytes) noexcept;
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
    int fd_ = -1;
    bool replaced_ = false;
    int error_ = 0;
};

} // namespace platform
