#pragma once

#include <QString>
#include <cstdint>
#include <span>

namespace platform {

// Reads a picture file into a buffer that is reused by the next call on the same thread (the span
// stays valid until then). Only the first bytes are read until they show a format the loader
// decodes; then the whole file, if it is no larger than such a picture can be. Never blocks on a
// special file: the file is opened without waiting and only a regular file is read.
// Throws RuntimeError: 481 when the first bytes are no picture the loader decodes (an empty file
// too) or the file is too large for its format, 53 when the file does not exist (a dangling
// symlink too), 75 when it exists but cannot be opened or read (a folder, a FIFO, a device, a
// symlink loop, an I/O error), 7 when its content does not fit into memory.
std::span<const std::uint8_t> readPictureFile(const QString& path);

} // namespace platform
