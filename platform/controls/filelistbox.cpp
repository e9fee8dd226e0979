#include "platform/controls/filelistbox.h"

#include "platform/errors/runtimeerror.h"
#include "platform/files/filenames.h"
#include "platform/files/filepattern.h"
#include "platform/files/folderlisting.h"
#include "platform/files/workingdirectory.h"

#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <time.h>
#include <utility>

namespace platform {
namespace {

std::int64_t nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

// How a folder looked: enough to tell that its entries may have changed.
struct FolderStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::int64_t modified = 0; // nanoseconds
    std::int64_t changed = 0;

    static FolderStamp of(const std::string& folder) {
        FolderStamp stamp;
        struct stat status {};
        if (::stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
            stamp.exists = true;
            stamp.device = status.st_dev;
            stamp.inode = status.st_ino;
            stamp.modified = nanoseconds(status.st_mtim);
            stamp.changed = nanoseconds(status.st_ctim);
        }
        return stamp;
    }

    bool operator==(const FolderStamp&) const = default;
};

// File systems stamp times in ticks: FAT in two seconds, others in the kernel's clock tick of a few
// milliseconds. A change in the same tick as the last reading leaves the stamp as it was, so the
// folder is read again on every refresh until a reading has begun safely after the stamp's time.
constexpr std::int64_t CoarseStampWindow = 3'000'000'000;

std::int64_t now() {
    timespec time{};
    ::clock_gettime(CLOCK_REALTIME, &time);
    return nanoseconds(time);
}

bool near(std::int64_t a, std::int64_t b) {
    return (a > b ? a - b : b - a) < CoarseStampWindow;
}

} // namespace

struct FileListBox::State {
    QString path;
    std::string encodedPath;
    QString pattern = QStringLiteral("*.*");
    FilePattern matcher{pattern};
    FolderListing listing;
    FolderStamp stamp;
    std::int64_t readAt = 0; // when the last reading began

    // Reads the folder as it is now; a folder that cannot be read lists nothing.
    void read() {
        readAt = now();
        stamp = FolderStamp::of(encodedPath);
        auto fresh = stamp.exists ? listFolder(encodedPath, matcher) : std::nullopt;
        listing = fresh ? std::move(*fresh) : FolderListing{};
    }

    bool mayHaveChanged() const {
        const FolderStamp current = FolderStamp::of(encodedPath);
        if (!(current == stamp))
            return true;
        if (current.exists && (near(readAt, current.modified) || near(readAt, current.changed)))
            return true;
        return !listing.linksUnchanged();
    }
};

FileListBox::FileListBox(QObject* parent) : QObject(parent), state_(std::make_unique<State>()) {
    state_->path = absolutePath(workingDirectory());
    state_->encodedPath = encodeName(state_->path).toStdString();
    state_->read();
}

FileListBox::~FileListBox() = default;

QString FileListBox::Path() const {
    return state_->path;
}

void FileListBox::setPath(const QString& folder) {
    if (folder.isEmpty())
        raise(ErrPathNotFound);
    const QString path = absolutePath(folder);
    const std::string encoded = encodeName(path).toStdString();
    const std::int64_t readAt = now();
    const FolderStamp stamp = FolderStamp::of(encoded);
    if (!stamp.exists)
        raise(ErrPathNotFound);
    std::optional<FolderListing> listing = listFolder(encoded, state_->matcher);
    if (!listing)
        raise(ErrPathFileAccess);
    state_->path = path;
    state_->encodedPath = encoded;
    state_->listing = std::move(*listing);
    state_->stamp = stamp;
    state_->readAt = readAt;
}

QString FileListBox::Pattern() const {
    return state_->pattern;
}

void FileListBox::setPattern(const QString& pattern) {
    state_->pattern = pattern;
    state_->matcher = FilePattern(pattern);
    state_->read();
}

void FileListBox::Refresh() {
    if (state_->mayHaveChanged())
        state_->read();
}

int FileListBox::ListCount() const {
    return static_cast<int>(state_->listing.names.size());
}

QString FileListBox::List(int index) const {
    if (index < 0 || index >= ListCount())
        raise(ErrSubscriptOutOfRange);
    return state_->listing.names.at(index);
}

} // namespace platform
