#pragma once

#include <QString>

namespace platform {

// The program's working directory, through decodeName; empty when it cannot be read (it was
// removed, say).
QString workingDirectory();

// path as an absolute path without "." or ".." parts or a trailing separator (but for "/"); a
// relative path counts from the working directory. Only the text is looked at.
QString absolutePath(const QString& path);

} // namespace platform
