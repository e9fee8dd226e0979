#include "platform/files/folderlisting.h"

#include "platform/files/filenames.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <utility>

namespace platform {
namespace {

bool leadsToRegularFile(int folder, const char* name) {
    struct stat status {};
    return ::fstatat(folder, name, &status, 0) == 0 && S_ISREG(status.st_mode);
}

// Case-folded name and name, in the lists' order afterwards.
using KeyedNames = std::vector<std::pair<QString, QString>>;

QStringList sortedNames(KeyedNames& keyed) {
    // Plain comparison of UTF-16 code units, inlined: the sort is most of a reading's own work.
    const auto units = [](const QString& text) {
        return std::u16string_view(reinterpret_cast<const char16_t*>(text.constData()),
                                   static_cast<std::size_t>(text.size()));
    };
    std::sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
        const int folded = units(a.first).compare(units(b.first));
        return folded != 0 ? folded < 0 : units(a.second) < units(b.second);
    });
    QStringList names;
    names.reserve(static_cast<qsizetype>(keyed.size()));
    for (auto& entry : keyed)
        names.push_back(std::move(entry.second));
    return names;
}

FolderEntry::Type typeOf(unsigned char type) {
    switch (type) {
    case DT_REG:
        return FolderEntry::Type::Regular;
    case DT_DIR:
        return FolderEntry::Type::Folder;
    case DT_LNK:
        return FolderEntry::Type::Link;
    case DT_UNKNOWN:
        return FolderEntry::Type::Unknown;
    default:
        return FolderEntry::Type::Other;
    }
}

} // namespace

bool readFolder(const std::string& folder, const std::function<void(FolderEntry&)>& visit) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir)
        return false;
    const int descriptor = ::dirfd(dir.get());
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (!entry)
            return errno == 0;
        const char* const name = entry->d_name;
        if (name[0] == '.')
            continue;
        FolderEntry visible{descriptor, name, decodeName(name), typeOf(entry->d_type)};
        visit(visible);
    }
}

void sortWithoutCase(QStringList& names) {
    KeyedNames keyed;
    keyed.reserve(static_cast<std::size_t>(names.size()));
    for (QString& name : names)
        keyed.emplace_back(readableName(name).toCaseFolded(), std::move(name));
    names = sortedNames(keyed);
}

bool FolderListing::linksUnchanged() const {
    return std::all_of(links.begin(), links.end(), [](const Link& link) {
        return leadsToRegularFile(AT_FDCWD, link.path.c_str()) == link.regular;
    });
}

std::optional<FolderListing> listFolder(const std::string& folder, const FilePattern& pattern) {
    FolderListing listing;
    if (pattern.isEmpty()) {
        // Nothing can match; only whether the folder can be read counts.
        const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
        return dir ? std::optional(listing) : std::nullopt;
    }
    KeyedNames found;
    using Type = FolderEntry::Type;
    const bool read = readFolder(folder, [&](FolderEntry& entry) {
        // The type from the folder saves a look at each file where the file system provides it.
        Type type = entry.type;
        if (type != Type::Regular && type != Type::Link && type != Type::Unknown)
            return;
        QString folded = readableName(entry.text).toCaseFolded();
        if (!pattern.matchesFolded(folded))
            return;
        if (type == Type::Unknown) {
            struct stat status {};
            if (::fstatat(entry.folder, entry.name, &status, AT_SYMLINK_NOFOLLOW) != 0)
                return;
            if (!S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode))
                return;
            type = S_ISLNK(status.st_mode) ? Type::Link : Type::Regular;
        }
        if (type == Type::Link) {
            const bool regular = leadsToRegularFile(entry.folder, entry.name);
            listing.links.push_back({folder + '/' + entry.name, regular});
            if (!regular)
                return;
        }
        found.emplace_back(std::move(folded), std::move(entry.text));
    });
    if (!read)
        return std::nullopt;
    listing.names = sortedNames(found);
    return listing;
}

} // namespace platform
