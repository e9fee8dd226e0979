#include "conversion/sourceguard.h"

#include "platform/errors/runtimeerror.h"
#include "platform/files/filenames.h"
#include "platform/files/replacingfile.h"

#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <set>
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
    if (::stat(platform::encodeName(path).constData(), &status) != 0)
        return false;
    identity = {static_cast<std::uint64_t>(status.st_dev),
                static_cast<std::uint64_t>(status.st_ino)};
    return true;
}

QString SourceGuard::destination(std::int32_t index, const QString& target) {
    forgetReservation();
    current_ = index;

    // Refused by the writer, and so never waiting to be renamed over.
    if (platform::isWriteProtected(platform::encodeName(target).toStdString()))
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
    pending.target =
        platform::decodeName(platform::resolvedTarget(platform::encodeName(target).toStdString()));
    const qsizetype slash = pending.target.lastIndexOf(u'/');
    const QString stem =
        pending.target.left(slash + 1) + u'.' + stemOf(pending.target.mid(slash + 1)) + u'.';
    // A free name, not a file: the writer gives it to the complete output alone, so that a crash
    // during the encode leaves nothing there.
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const QString candidate = stem + randomSuffix();
        struct stat status {};
        if (::lstat(platform::encodeName(candidate).constData(), &status) != 0 && errno == ENOENT) {
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
    if (!ok)
        return; // the writer left nothing under the name
    for (const std::int32_t source : pending.sources)
        waiters_[source].push_back(index);
    pending_[index] = std::move(pending);
    // Its source is read and converted now: it, and what waits for its source, may be placed.
    std::vector<std::int32_t> outputs{index};
    if (const auto waiting = waiters_.find(index); waiting != waiters_.end())
        outputs.insert(outputs.end(), waiting->second.begin(), waiting->second.end());
    settle(std::move(outputs));
}

void SourceGuard::mayBeReplaced(std::int32_t index) {
    setFree(index);
}

void SourceGuard::setFree(std::int32_t source) {
    if (source < 0 || static_cast<std::size_t>(source) >= free_.size() ||
        free_[static_cast<std::size_t>(source)])
        return;
    free_[static_cast<std::size_t>(source)] = 1;
    settle(takeWaiters(source));
}

std::vector<std::int32_t> SourceGuard::takeWaiters(std::int32_t source) {
    const auto waiting = waiters_.find(source);
    if (waiting == waiters_.end())
        return {};
    std::vector<std::int32_t> outputs = std::move(waiting->second);
    waiters_.erase(waiting);
    return outputs;
}

// Places each of outputs that may go now, together with the waiting outputs it needs; every
// output placed frees its source, so what waits for that source is looked at in turn.
void SourceGuard::settle(std::vector<std::int32_t> outputs) {
    while (!outputs.empty()) {
        const std::int32_t output = outputs.back();
        outputs.pop_back();
        if (!pending_.contains(output))
            continue;
        const std::optional<std::vector<std::int32_t>> order = group(output);
        if (!order)
            continue;
        for (const std::int32_t placed : placeGroup(*order))
            std::ranges::copy(takeWaiters(placed), std::back_inserter(outputs));
    }
}

// The waiting outputs that must be placed with first: those whose sources it (or one of them in
// turn) would replace, each listed after those it replaces, unless one of them would replace a
// source that is not converted yet (or never will be): then nothing.
std::optional<std::vector<std::int32_t>> SourceGuard::group(std::int32_t first) const {
    std::vector<std::int32_t> order;
    std::set<std::int32_t> seen{first};
    std::vector<std::pair<std::int32_t, std::size_t>> path{{first, 0}};
    while (!path.empty()) {
        const std::int32_t output = path.back().first;
        const std::vector<std::int32_t>& sources = pending_.at(output).sources;
        if (path.back().second == sources.size()) {
            order.push_back(output);
            path.pop_back();
            continue;
        }
        const std::int32_t source = sources[path.back().second++];
        if (free_[static_cast<std::size_t>(source)] || seen.contains(source))
            continue;
        if (!pending_.contains(source))
            return std::nullopt;
        seen.insert(source);
        path.emplace_back(source, 0);
    }
    return order;
}

// Places the outputs of a group in order; the positions placed. In a ring the first of them
// replaces a source whose picture waits in its own output's temporary file until the last. An
// output that cannot be placed, and each that would replace its source, is dropped; where that
// source was replaced already, its temporary file is left, as its picture's only copy.
std::vector<std::int32_t> SourceGuard::placeGroup(const std::vector<std::int32_t>& order) {
    std::set<std::int32_t> failed;
    std::set<std::int32_t> replaced;
    std::vector<std::int32_t> placed;
    for (const std::int32_t output : order) {
        const Pending pending = std::move(pending_.extract(output).mapped());
        const bool needsFailed = std::ranges::any_of(
            pending.sources, [&](std::int32_t source) { return failed.contains(source); });
        if (!needsFailed && place(pending)) {
            free_[static_cast<std::size_t>(output)] = 1;
            replaced.insert(pending.sources.begin(), pending.sources.end());
            placed.push_back(output);
        } else {
            failed.insert(output);
            if (!replaced.contains(output))
                remove(pending);
        }
    }
    return placed;
}

bool SourceGuard::place(const Pending& pending) {
    const QByteArray temporary = platform::encodeName(pending.temporary);
    const QByteArray target = platform::encodeName(pending.target);
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

// A waiting output's file, which the writer made under its random hidden name.
void SourceGuard::remove(const Pending& pending) {
    ::unlink(platform::encodeName(pending.temporary).constData());
}

// The writer did not report back (an error raised before it wrote): a reservation is only a
// name, so nothing is left to remove.
void SourceGuard::forgetReservation() {
    reserved_.reset();
    current_ = -1;
}

} // namespace conversion
