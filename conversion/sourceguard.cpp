#include "conversion/sourceguard.h"

#include "platform/errors/runtimeerror.h"
#include "platform/files/replacingfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace conversion {

namespace {

constexpr int kAttempts = 32;
// Characters of the target's name kept in the temporary name, so that a user who finds one
// (after a crash) can tell what it was meant to become.
constexpr int kStemLength = 100;

QString randomSuffix() {
    static constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString suffix(6, u' ');
    for (QChar& c : suffix)
        c = QLatin1Char(alphabet[QRandomGenerator::global()->bounded(int(sizeof alphabet) - 1)]);
    return suffix;
}

QString stemOf(const QString& name) {
    QString stem = name.left(kStemLength);
    if (!stem.isEmpty() && stem.back().isHighSurrogate())
        stem.chop(1);
    return stem;
}

} // namespace

SourceGuard::SourceGuard(const QStringList& sources) : free_(sources.size(), 0) {
    for (qsizetype position = 0; position < sources.size(); ++position) {
        Identity identity;
        if (identityOf(sources[position], identity))
            positions_[identity].push_back(static_cast<std::int32_t>(position));
    }
}

SourceGuard::~SourceGuard() {
    forgetReservation();
    for (const auto& [position, pending] : pending_)
        remove(pending);
}

bool SourceGuard::identityOf(const QString& path, Identity& identity) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return false;
    identity = {static_cast<std::uint64_t>(status.st_dev),
                static_cast<std::uint64_t>(status.st_ino)};
    return true;
}

QString SourceGuard::destination(std::int32_t index, const QString& target) {
    forgetReservation();
    current_ = index;

    // Refused by the writer, and so never waiting to be renamed over.
    if (platform::isWriteProtected(QFile::encodeName(target).toStdString()))
        return target;
    Identity identity;
    if (!identityOf(target, identity))
        return target;
    const auto found = positions_.find(identity);
    if (found == positions_.end())
        return target;
    std::vector<std::int32_t> waitingFor;
    for (const std::int32_t position : found->second) {
        if (position != index && !free_[static_cast<std::size_t>(position)])
            waitingFor.push_back(position);
    }
    if (waitingFor.empty())
        return target;

    Pending pending = reserve(target);
    pending.sources = std::move(waitingFor);
    reserved_ = std::move(pending);
    return reserved_->temporary;
}

SourceGuard::Pending SourceGuard::reserve(const QString& target) {
    Pending pending;
    // A symbolic link is written through, as a direct write would be: the file it leads to is
    // what gets replaced, so the temporary file lies beside that one.
    pending.target = target;
    if (const QFileInfo info(target); info.isSymLink()) {
        if (const QString real = info.canonicalFilePath(); !real.isEmpty())
            pending.target = real;
    }
    const QFileInfo info(pending.target);
    const QString stem =
        info.absolutePath() + QStringLiteral("/.") + stemOf(info.fileName()) + u'.';
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const QString candidate = stem + randomSuffix();
        const QByteArray name = QFile::encodeName(candidate);
        // Created empty to hold the name; the writer replaces it and keeps its permissions,
        // which are those of any new file.
        const int file = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file >= 0) {
            ::close(file);
            pending.temporary = candidate;
            return pending;
        }
        if (errno == EEXIST)
            continue;
        // The folder takes no new file: the writer is still given a free name, so that it
        // reports the failure as for any other output.
        struct stat status {};
        if (::lstat(name.constData(), &status) != 0 && errno == ENOENT) {
            pending.temporary = candidate;
            return pending;
        }
    }
    platform::raise(platform::ErrPathFileAccess);
}

void SourceGuard::written(std::int32_t index, bool ok) {
    if (index != current_)
        return;
    current_ = -1;
    if (!reserved_) {
        if (ok)
            setFree(index);
        return;
    }
    Pending pending = std::move(*reserved_);
    reserved_.reset();
    if (!ok) {
        remove(pending);
        return;
    }
    for (const std::int32_t source : pending.sources)
        waiters_[source].push_back(index);
    pending_[index] = std::move(pending);
}

void SourceGuard::mayBeReplaced(std::int32_t index) {
    setFree(index);
}

void SourceGuard::setFree(std::int32_t first) {
    std::vector<std::int32_t> work{first};
    while (!work.empty()) {
        const std::int32_t source = work.back();
        work.pop_back();
        if (source < 0 || static_cast<std::size_t>(source) >= free_.size() ||
            free_[static_cast<std::size_t>(source)])
            continue;
        free_[static_cast<std::size_t>(source)] = 1;

        const auto waiting = waiters_.find(source);
        if (waiting == waiters_.end())
            continue;
        const std::vector<std::int32_t> outputs = std::move(waiting->second);
        waiters_.erase(waiting);
        for (const std::int32_t output : outputs) {
            const auto found = pending_.find(output);
            if (found == pending_.end())
                continue;
            std::vector<std::int32_t>& sources = found->second.sources;
            std::erase(sources, source);
            if (!sources.empty())
                continue;
            const Pending ready = std::move(found->second);
            pending_.erase(found);
            // Once in place, the output stands for its own source, which may go in turn.
            if (place(ready))
                work.push_back(output);
            else
                remove(ready);
        }
    }
}

bool SourceGuard::place(const Pending& pending) {
    const QByteArray temporary = QFile::encodeName(pending.temporary);
    const QByteArray target = QFile::encodeName(pending.target);
    if (platform::isWriteProtected(target.toStdString()))
        return false; // protected while the output waited
    // The replacement keeps the replaced file's permissions and owner, as every output does.
    struct stat existing {};
    if (::stat(target.constData(), &existing) == 0) {
        [[maybe_unused]] const int owned =
            ::chown(temporary.constData(), existing.st_uid, existing.st_gid);
        [[maybe_unused]] const int moded = ::chmod(temporary.constData(), existing.st_mode & 07777);
    }
    return std::rename(temporary.constData(), target.constData()) == 0;
}

// The random hidden name is the run's alone, whether the writer got as far as creating it or not.
void SourceGuard::remove(const Pending& pending) {
    ::unlink(QFile::encodeName(pending.temporary).constData());
}

void SourceGuard::forgetReservation() {
    if (reserved_)
        remove(*reserved_);
    reserved_.reset();
    current_ = -1;
}

} // namespace conversion
