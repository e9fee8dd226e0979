#pragma once

#include "platform/files/filepattern.h"

#include <QStringList>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// One visible entry of a folder being read (hidden names, "." and ".." are never visited).
struct FolderEntry {
    enum class Type { Regular, Folder, Link, Other, Unknown }; // as the folder tells it, unchecked
    int folder;       // the folder's descriptor, for looking at the entry with fstatat
    const char* name; // the name in the file system's encoding
    QString text;     // the name as text (decodeName)
    Type type;
};

// Visits every visible entry of folder. False when the folder cannot be opened or read.
bool readFolder(const std::string& folder, const std::function<void(FolderEntry&)>& visit);

// Sorts names as the lists show them: by the case-folded form of what the user reads
// (readableName), then by the exact name.
void sortWithoutCase(QStringList& names);

// The files of one folder that a file list shows, as read at one moment.
struct FolderListing {
    // The names of the regular files that match (read as the user reads them), hidden ones
    // excluded, sorted as sortWithoutCase sorts.
    QStringList names;

    // The symbolic links among the matching names and whether each led to a regular file. What a
    // link leads to can change without the folder changing, so these are looked at again.
    struct Link {
        std::string path;
        bool regular;
    };
    std::vector<Link> links;
    bool linksUnchanged() const;
};

// Reads folder (a path in the file system's encoding); nothing when it cannot be read.
std::optional<FolderListing> listFolder(const std::string& folder, const FilePattern& pattern);

} // namespace platform
