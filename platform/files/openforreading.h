#pragma once

#include <QString>

namespace platform {

// Opens path as a file for reading and closes it again at once: the test whether a path names a
// file that can be read. Only a regular file (after following links) is opened at all, so a named
// pipe, a device or a socket is never touched and the test cannot block. Throws RuntimeError(53)
// for a missing file, 76 for a path through a missing folder or through a file, 52 for an empty or
// too long name, and 75 for a folder, anything else that is not a regular file, or a file that
// cannot be opened.
void OpenForReading(const QString& path);

} // namespace platform
