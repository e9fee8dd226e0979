#include "platform/files/replacingfile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <random>
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
    if (!temporary_.empty() && !replaced_)
        ::unlink(temporary_.c_str());
}

bool ReplacingFile::fail() noexcept {
    if (error_ == 0)
        error_ = errno != 0 ? errno : EIO;
    return false;
}

bool ReplacingFile::open() {
    if (file_.valid() || !temporary_.empty()) {
        errno = EBUSY;
        return fail();
    }
    struct stat existing {};
    const bool exists = ::stat(target_.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        errno = S_ISDIR(existing.st_mode) ? EISDIR : EEXIST;
        return fail();
    }
    if (exists && isWriteProtected(target_))
        return fail(); // errno tells why
    const std::size_t slash = target_.rfind('/');
    const std::string_view path(target_);
    const std::string_view folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string_view name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) {
        errno = EISDIR;
        return fail();
    }
    // "." + name + "." + suffix must still fit in one path component.
    const std::string_view stem = cutName(name, kNameMax - kSuffixLength - 2);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::string candidate;
        candidate.reserve(folder.size() + stem.size() + kSuffixLength + 2);
        candidate.append(folder).append(".").append(stem).append(".").append(randomSuffix());
        // 0666 lets the umask decide, as for any new file.
        FileDescriptor file(
            ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (file.valid()) {
            if (exists) {
                // Best effort: a file system without owners or permissions still takes the data.
                [[maybe_unused]] const int owned =
                    ::fchown(file.get(), existing.st_uid, existing.st_gid);
                [[maybe_unused]] const int moded = ::fchmod(file.get(), existing.st_mode & 07777);
            }
            file_ = std::move(file);
            temporary_ = std::move(candidate);
            return true;
        }
        if (errno != EEXIST)
            return fail();
    }
    return fail();
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
    // The descriptor is released even when close reports an error; the data may not have landed.
    return file_.close() || fail();
}

bool ReplacingFile::replaceTarget() {
    if (file_.valid() || temporary_.empty() || replaced_) {
        errno = EBADF;
        return fail();
    }
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0)
        return fail();
    replaced_ = true;
    return true;
}

} // namespace platform
