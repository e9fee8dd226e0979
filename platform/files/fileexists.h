#pragma once

#include <QString>

namespace platform {

// True when path names an existing file (after following links); false for a folder, a missing
// file, an empty path or a path through a missing folder.
bool FileExists(const QString& path);

} // namespace platform
