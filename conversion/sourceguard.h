#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace conversion {

// Keeps the outputs of a run from destroying pictures. An output name can name a file of the
// run's own list (a folder that already holds the outputs of an earlier run, or a name that
// differs only in case on a file system that ignores case); such an output is written under a
// hidden temporary name and moved into place once every source it would replace may go: that
// source was judged not to be a picture, or it was read and its own output written, and so on
// along the outputs that wait on each other. Outputs that wait on each other in a ring (a.jpg
// becomes b.jpg while b.jpg becomes a.jpg; a re-run over Foto000 ... Foto1000, whose sorted
// order is not their numbers' order) are placed together once every member is written.
//
// Whether an output would replace a source is decided by file identity (device and inode), not
// by name: one stat of every source when the run starts, one of every output's target. An
// output is dropped, its sources left as they are, only where placing it would destroy a picture
// that exists nowhere else: a source never read (the run was cancelled, a source could not be
// read) or one whose own output failed. A target the user may not write is never given a
// temporary file nor renamed over: the writer refuses it itself.
//
// A waiting output is a complete JPEG file under a hidden name beside its target
// (".Foto003.jpg.aB3xYz"). The guard only picks the name; the writer gives it to the finished
// file alone, so an output still being encoded has no name anywhere. The guard removes the files
// of the outputs it did not place when it goes, except one kept on purpose: where a group could
// not be placed whole and an earlier member had already replaced the source whose picture a later
// member holds, that member's file stays, as the picture's only copy. A crash or a kill ends the
// program without the guard and leaves every waiting output's file (in a re-run over Foto000 ...
// Foto1000, some 900). Until a group's placement begins, each is a copy of a picture whose
// source is still whole; during those few renames, one may be the only copy of a source already
// replaced. Nothing tells the two apart (the name says what the file was to become, not which
// source it came from), and other programs' temporary files share the pattern: a later run
// neither lists them (they are hidden) nor removes them.
class SourceGuard {
public:
    // sources: the paths of the run's files, by position.
    explicit SourceGuard(const QStringList& sources);
    ~SourceGuard();
    SourceGuard(const SourceGuard&) = delete;
    SourceGuard& operator=(const SourceGuard&) = delete;

    // The path to write the output of position index to: target itself, or a free hidden name
    // beside the file target names when that is a source that may not be replaced yet (unless the
    // target is write-protected: then target itself, for the writer to refuse). The writer must
    // create the file only once it is complete and leave nothing under the name when it fails.
    QString destination(std::int32_t index, const QString& target);
    // Tells how writing to the path that destination() gave ended.
    void written(std::int32_t index, bool ok);
    // The source at index was read and is no picture, or it was no longer there when it was to
    // be read: nothing of it is lost when its name is written. A source neither written nor
    // named here (a cancel, a failed read or write) is never replaced.
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
    std::vector<std::int32_t> takeWaiters(std::int32_t source);
    void settle(std::vector<std::int32_t> outputs);
    std::optional<std::vector<std::int32_t>> group(std::int32_t first) const;
    std::vector<std::int32_t> placeGroup(const std::vector<std::int32_t>& order);
    void forgetReservation();

    std::vector<char> free_; // by position: may this source be replaced?
    std::map<Identity, std::vector<std::int32_t>> positions_;
    std::map<std::int32_t, Pending> pending_;                   // by output position
    std::map<std::int32_t, std::vector<std::int32_t>> waiters_; // source -> outputs onto it
    // The output that destination() last answered for, until written() tells its outcome; the
    // hidden name it was given when it goes to a temporary file.
    std::int32_t current_ = -1;
    std::optional<Pending> reserved_;
};

} // namespace conversion
