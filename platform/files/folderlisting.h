#pragma once

#include "platform/files/filepattern.h"

#include <QStringList>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The files of one folder that a file list shows, as read at one moment.
struct FolderListing {
    // The names of the regular files that match, hidden ones excluded, sorted by their case-folded
    // form and then by the exact name.
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
