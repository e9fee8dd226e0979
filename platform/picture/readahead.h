#pragma once

#include "platform/picture/decodedpicture.h"

#include <QString>
#include <QStringList>
#include <cstddef>
#include <memory>
#include <optional>

namespace platform {

class ReadAheadSession;

// Decodes the pictures a conversion run is about to load on worker threads, so that LoadPicture
// usually finds its picture ready. The run makes one once it knows its files, with their paths in
// the order it will load them; while it exists, LoadPicture(path) takes the picture decoded ahead
// for path if the file is still the one that was read (same device, inode, size, modification and
// change times), waits for it while it is being decoded, and otherwise loads the file itself. A
// file whose read-ahead failed is simply loaded in its turn, so its error is raised there.
//
// Files are read one at a time, in the run's order (a USB stick or a network share slows down
// under parallel reads), and decoded in parallel by as many workers as the process may use
// processors, at a lower priority than the user-interface thread; with one processor nothing is
// read ahead. Everything the read-ahead holds (pictures, the decoders' working memory, the files'
// bytes) stays within a budget of a quarter of the memory available when it starts, and at most 8
// files ahead of the run; a picture that does not fit is loaded in its turn.
//
// Its end (the destructor) stops the read-ahead at once: no further file is opened and every
// picture decoded ahead is freed. A decode in flight cannot be interrupted; it finishes in the
// background, and its picture is freed. Workers never write a file and never touch a window or a
// drawing handle. User-interface thread only.
class PictureReadAhead {
public:
    explicit PictureReadAhead(const QStringList& paths);
    ~PictureReadAhead();
    PictureReadAhead(const PictureReadAhead&) = delete;
    PictureReadAhead& operator=(const PictureReadAhead&) = delete;

private:
    std::shared_ptr<ReadAheadSession> session_;
    int previousBlockLimit_ = 0;
};

// For LoadPicture: the picture read ahead for path, when there is one and the file has not changed
// since; waits while it is being decoded. Nothing: load it directly.
std::optional<DecodedPicture> takeReadAhead(const QString& path);

// Ends every worker thread, waiting for the decodes still in flight. Runs by itself when the
// application object goes, and at the program's end; a later read-ahead starts workers anew.
void endReadAheadWorkers();

namespace hooks {

// Off: runs load every picture in its turn, as on one processor (benchmarks compare both ways).
void setReadAheadEnabled(bool enabled);
// A budget of this many bytes instead of a quarter of the available memory; nothing: that again.
void setReadAheadBudget(std::optional<std::size_t> bytes);
// Waits until the current read-ahead is done with path; true when it holds the picture decoded.
bool waitForReadAhead(const QString& path);
// Files the read-ahead has opened and begun to read (pictures, by their first bytes) so far, in
// this process.
int readAheadFilesOpened();

} // namespace hooks

} // namespace platform
