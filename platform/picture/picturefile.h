#pragma once

#include <QString>
#include <cstdint>
#include <span>

namespace platform {

// Reads a whole picture file into a buffer that is reused by the next call on the same thread
// (the span stays valid until then). Never blocks on a special file: the file is opened without
// waiting and only a regular file is read.
// Throws RuntimeError: 53 when the file does not exist (a dangling symlink too), 75 when it
// exists but cannot be opened or read (a folder, a FIFO, a device, a symlink loop, an I/O error),
// 7 when its content does not fit into memory.
std::span<const std::uint8_t> readPictureFile(const QString& path);

} // namespace platform
