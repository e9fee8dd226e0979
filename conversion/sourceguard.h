#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace conversion {

// Keeps the outputs of a run from destroying sources it has not read yet. An output name can
// name a file of the run's own list (a folder that already holds the outputs of an earlier run,
// or a name that differs only in case on a file system that ignores case); such an output is
// written under a hidden temporary name and moved into place only once every source it would
// replace may go: when that source was judged not to be a picture, or when its own output has
// taken its place. So a source is replaced only after what became of it is on disk under its
// final name, also along a chain of outputs that wait on each other.
//
// Whether an output would replace a source is decided by file identity (device and inode), not
// by name: one stat of every source when the run starts, one of every output's target. Pending
// outputs whose sources never become free (the run was cancelled, a source could not be read)
// are dropped, their sources left as they are; no temporary file outlives the guard. A target the
// user may not write is never given a temporary file nor renamed over: the writer refuses it.
class SourceGuard {
public:
    // sources: the paths of the run's files, by position.
    explicit SourceGuard(const QStringList& sources);
    ~SourceGuard();
    SourceGuard(const SourceGuard&) = delete;
    SourceGuard& operator=(const SourceGuard&) = delete;

    // The path to write the output of position index to: target itself, or a fresh hidden file
    // beside the file target names when that is a source that may not be replaced yet (unless the
    // target is write-protected: then target itself, for the writer to refuse).
    QString destination(std::int32_t index, const QString& target);
    // Tells how writing to the path that destination() gave ended.
    void written(std::int32_t index, bool ok);
    // The source at index was read and is no picture, or it was no longer there when it was to
    // be read: nothing of it is lost when its name is written.
    void mayBeReplaced(std::int32_t index);

    // Outputs written under a temporary name and waiting for their sources.
    int pendingCount() const { return static_cast<int>(pending_.size()); }

private:
    struct Identity {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        auto operator<=>(const Identity&) const = default;
    };
    struct Pending {
        QString temporary;
        QString target;
        std::vector<std::int32_t> sources; // the sources it waits for
    };

    static bool identityOf(const QString& path, Identity& identity);
    static Pending reserve(const QString& target);
    static bool place(const Pending& pending);
    static void remove(const Pending& pending);
    void setFree(std::int32_t index);
    void forgetReservation();

    std::vector<char> free_; // by position: may this source be replaced?
    std::map<Identity, std::vector<std::int32_t>> positions_;
    std::map<std::int32_t, Pending> pending_;                   // by output position
    std::map<std::int32_t, std::vector<std::int32_t>> waiters_; // source -> outputs waiting
    // The output that destination() last answered for, until written() tells its outcome; its
    // reservation when it goes to a temporary file.
    std::int32_t current_ = -1;
    std::optional<Pending> reserved_;
};

} // namespace conversion
