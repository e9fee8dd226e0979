#include "platform/files/replacingfile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

constexpr std::size_t kNameMax = 255; // bytes in one path component
constexpr std::size_t kSuffixLength = 6;
constexpr int kAttempts = 32;
constexpr std::string_view kSuffixAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

std::atomic<hooks::AnonymousFiles> anonymousFiles{hooks::AnonymousFiles::AsTheSystemAllows};

// name cut to at most limit bytes, never inside a UTF-8 sequence.
std::string_view cutName(std::string_view name, std::size_t limit) {
    if (name.size() <= limit)
        return name;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    return name.substr(0, end);
}

std::string randomSuffix() {
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, kSuffixAlphabet.size() - 1);
    std::string suffix(kSuffixLength, ' ');
    for (char& c : suffix)
        c = kSuffixAlphabet[pick(generator)];
    return suffix;
}

// Gives make hidden names beside target ("." + name + "." + a random suffix, still one valid path
// component) until it takes one, which is returned. Empty when make fails for another reason than
// a taken name (errno tells it), or finds every name taken.
template <typename Make> std::string hiddenName(std::string_view target, Make make) {
    const std::size_t slash = target.rfind('/');
    const std::string_view folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string_view stem =
        cutName(target.substr(folder.size()), kNameMax - kSuffixLength - 2);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::string candidate;
        candidate.reserve(folder.size() + stem.size() + kSuffixLength + 2);
        candidate.append(folder).append(".").append(stem).append(".").append(randomSuffix());
        if (make(candidate))
            return candidate;
        if (errno != EEXIST)
            return {};
    }
    return {};
}

// The path through which an anonymous file is linked to a name (AT_EMPTY_PATH would need a
// privilege).
std::string procLinkOf(int fd) {
    const bool missing = anonymousFiles.load() == hooks::AnonymousFiles::Unlinkable;
    return (missing ? "/proc-not-mounted/self/fd/" : "/proc/self/fd/") + std::to_string(fd);
}

bool linkAnonymous(int fd, const std::string& name) {
    return ::linkat(AT_FDCWD, procLinkOf(fd).c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) ==
           0;
}

// Found out before the writes, not after them: /proc is there and shows this process's own fd.
bool linkable(int fd) {
    struct stat viaProc {};
    struct stat direct {};
    return ::stat(procLinkOf(fd).c_str(), &viaProc) == 0 && ::fstat(fd, &direct) == 0 &&
           viaProc.st_dev == direct.st_dev && viaProc.st_ino == direct.st_ino;
}

// Best effort: a file system without owners or permissions still takes the data.
void copyOwnership(int fd, const struct stat& existing) {
    [[maybe_unused]] const int owned = ::fchown(fd, existing.st_uid, existing.st_gid);
    [[maybe_unused]] const int moded = ::fchmod(fd, existing.st_mode & 07777);
}

// The errno value for a target that is there but no regular file.
int notAFileError(const struct stat& existing) {
    return S_ISDIR(existing.st_mode) ? EISDIR : EEXIST;
}

} // namespace

std::string resolvedTarget(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
        return path;
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr),
                                                           &std::free);
    return real ? std::string(real.get()) : path;
}

bool isWriteProtected(const std::string& path) {
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0)
        return false;
    return errno == EACCES || errno == EPERM || errno == EROFS;
}

ReplacingFile::ReplacingFile(std::string target) : target_(resolvedTarget(target)) {}

ReplacingFile::~ReplacingFile() {
    file_.close();
    anonymous_.close();
    if (!temporary_.empty() && !replaced_)
        ::unlink(temporary_.c_str());
}

bool ReplacingFile::fail() noexcept {
    if (error_ == 0)
        error_ = errno != 0 ? errno : EIO;
    return false;
}

bool ReplacingFile::open() {
    if (file_.valid() || anonymous_.valid() || !temporary_.empty() || replaced_) {
        errno = EBUSY;
        return fail();
    }
    struct stat existing {};
    existed_ = ::stat(target_.c_str(), &existing) == 0;
    if (existed_ && !S_ISREG(existing.st_mode)) {
        errno = notAFileError(existing);
        return fail();
    }
    if (existed_ && isWriteProtected(target_))
        return fail(); // errno tells why
    if (target_.empty() || target_.back() == '/') {
        errno = EISDIR;
        return fail();
    }
    const std::size_t slash = target_.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target_.substr(0, slash + 1);
    if (!openAnonymous(folder) && !openNamed())
        return fail();
    if (existed_)
        copyOwnership(file_.get(), existing);
    return true;
}

bool ReplacingFile::openAnonymous(const std::string& folder) {
    if (anonymousFiles.load() == hooks::AnonymousFiles::Refused)
        return false;
    // 0666 lets the umask decide, as for any new file. Never O_EXCL: it would forbid the link.
    FileDescriptor file(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
    // Whatever the refusal (EOPNOTSUPP, EISDIR where the kernel lacks them, ...), the named way is
    // tried; where the folder itself is the trouble, that one tells why.
    if (!file.valid() || !linkable(file.get()))
        return false;
    file_ = std::move(file);
    isAnonymous_ = true;
    return true;
}

bool ReplacingFile::openNamed() {
    temporary_ = hiddenName(target_, [this](const std::string& name) {
        // 0666 lets the umask decide, as for any new file.
        file_ = FileDescriptor(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        return file_.valid();
    });
    return !temporary_.empty();
}

bool ReplacingFile::write(std::span<const std::uint8_t> bytes) noexcept {
    if (!file_.valid()) {
        errno = EBADF;
        return fail();
    }
    while (!bytes.empty()) {
        const ssize_t written = ::write(file_.get(), bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return fail();
        }
        if (written == 0) {
            errno = EIO;
            return fail();
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

bool ReplacingFile::sync() noexcept {
    if (!file_.valid()) {
        errno = EBADF;
        return fail();
    }
    return ::fsync(file_.get()) == 0 || fail();
}

bool ReplacingFile::close() {
    if (!file_.valid()) {
        errno = EBADF;
        return fail();
    }
    // The anonymous file is linked through a second descriptor, so that this close still reports
    // what a close reports.
    if (isAnonymous_) {
        anonymous_ = FileDescriptor(::fcntl(file_.get(), F_DUPFD_CLOEXEC, 0));
        if (!anonymous_.valid())
            return fail();
    }
    // The descriptor is released even when close reports an error; the data may not have landed.
    return file_.close() || fail();
}

bool ReplacingFile::replaceTarget() {
    const bool closed = !file_.valid() && (isAnonymous_ ? anonymous_.valid() : !temporary_.empty());
    if (!closed || replaced_) {
        errno = EBADF;
        return fail();
    }
    if (!existed_) {
        // linkat never replaces: the new file is in place at once, or the name was taken meanwhile.
        if (isAnonymous_ && linkAnonymous(anonymous_.get(), target_)) {
            anonymous_.close();
            replaced_ = true;
            return true;
        }
        if ((isAnonymous_ && errno != EEXIST) || !mayReplaceTakenName())
            return fail();
    }
    if (isAnonymous_) {
        // The hidden name lives for two system calls, not for the whole write.
        temporary_ = hiddenName(target_, [this](const std::string& name) {
            return linkAnonymous(anonymous_.get(), name);
        });
        if (temporary_.empty())
            return fail();
        anonymous_.close();
    }
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0)
        return fail(); // the destructor removes the temporary name
    replaced_ = true;
    return true;
}

bool ReplacingFile::mayReplaceTakenName() {
    struct stat existing {};
    if (::stat(target_.c_str(), &existing) != 0)
        return true; // still free, or a link that leads nowhere: the link itself is replaced
    if (!S_ISREG(existing.st_mode)) {
        errno = notAFileError(existing);
        return false;
    }
    if (isWriteProtected(target_))
        return false;
    if (isAnonymous_) {
        copyOwnership(anonymous_.get(), existing);
    } else {
        [[maybe_unused]] const int owned =
            ::chown(temporary_.c_str(), existing.st_uid, existing.st_gid);
        [[maybe_unused]] const int moded = ::chmod(temporary_.c_str(), existing.st_mode & 07777);
    }
    return true;
}

namespace hooks {

void setAnonymousFiles(AnonymousFiles how) {
    anonymousFiles.store(how);
}

} // namespace hooks

} // namespace platform
