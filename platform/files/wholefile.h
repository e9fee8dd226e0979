#pragma once

#include <string>
#include <string_view>

namespace platform {

// The whole content of a small file, read in one go.
struct WholeFile {
    enum Status {
        Read,    // data holds the content
        Missing, // no file of that name (or a folder on the way is missing)
        Failed,  // something is there but cannot be read as a regular file
    };
    Status status = Missing;
    std::string data;
};
WholeFile readWholeFile(const std::string& path);

// Makes content the whole new content of the file at path, creating the file when it is missing.
// The file is never left truncated or half-written: the content goes into a file of its own beside
// it (one without a name where the file system allows, so a crash leaves nothing behind; see
// ReplacingFile), which takes its place once written, synced and closed. Where no such file can be
// written there but the file itself can, the file is rewritten in place, growing it first so that
// a full disk is found out before a byte of the old content is touched. A symbolic link is written
// through, and an existing file keeps its permissions. Returns false, with the file as it was,
// when the file is write-protected (isWriteProtected) or neither way works.
bool replaceWholeFile(const std::string& path, std::string_view content);

} // namespace platform
