#include "platform/files/folderlisting.h"

#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <cstring>
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

// The name as text, or a null string when it is not valid UTF-8 (it could not be opened again by
// a name made from that text).
QString decodeName(const char* name) {
    const std::size_t length = std::strlen(name);
    if (std::all_of(name, name + length,
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return QString::fromLatin1(name, static_cast<qsizetype>(length));
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(QByteArrayView(name, static_cast<qsizetype>(length)));
    return decoder.hasError() ? QString() : text;
}

} // namespace

bool FolderListing::linksUnchanged() const {
    return std::all_of(links.begin(), links.end(), [](const Link& link) {
        return leadsToRegularFile(AT_FDCWD, link.path.c_str()) == link.regular;
    });
}

std::optional<FolderListing> listFolder(const std::string& folder, const FilePattern& pattern) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir)
        return std::nullopt;
    FolderListing listing;
    if (pattern.isEmpty())
        return listing;
    const int descriptor = ::dirfd(dir.get());
    std::vector<std::pair<QString, QString>> found; // case-folded name, name
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (!entry) {
            if (errno != 0)
                return std::nullopt;
            break;
        }
        const char* const name = entry->d_name;
        // Hidden files (and "." and "..") never count; the type from the folder saves a look at
        // each file where the file system provides it.
        const unsigned char type = entry->d_type;
        if (name[0] == '.' || (type != DT_REG && type != DT_LNK && type != DT_UNKNOWN))
            continue;
        QString text = decodeName(name);
        if (text.isNull())
            continue;
        QString folded = text.toCaseFolded();
        if (!pattern.matchesFolded(folded))
            continue;
        if (type != DT_REG) {
            struct stat status {};
            if (type == DT_UNKNOWN) {
                if (::fstatat(descriptor, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                if (!S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode))
                    continue;
            }
            if (type == DT_LNK || S_ISLNK(status.st_mode)) {
                const bool regular = leadsToRegularFile(descriptor, name);
                listing.links.push_back({folder + '/' + name, regular});
                if (!regular)
                    continue;
            }
        }
        found.emplace_back(std::move(folded), std::move(text));
    }
    // Plain comparison of UTF-16 code units, inlined: the sort is most of a reading's own work.
    const auto units = [](const QString& text) {
        return std::u16string_view(reinterpret_cast<const char16_t*>(text.constData()),
                                   static_cast<std::size_t>(text.size()));
    };
    std::sort(found.begin(), found.end(), [&](const auto& a, const auto& b) {
        const int folded = units(a.first).compare(units(b.first));
        return folded != 0 ? folded < 0 : units(a.second) < units(b.second);
    });
    listing.names.reserve(static_cast<qsizetype>(found.size()));
    for (auto& entry : found)
        listing.names.push_back(std::move(entry.second));
    return listing;
}

} // namespace platform
