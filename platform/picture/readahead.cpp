#include "platform/picture/readahead.h"

#include "platform/gdi/pixelmemory.h"
#include "platform/picture/heifdecoder.h"
#include "platform/picture/picturedecoder.h"
#include "platform/picture/picturefile.h"

#include <QCoreApplication>
#include <QHash>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <string>
#include <sys/resource.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

constexpr int kMostAhead = 8;
// Workers give way to the user-interface thread: the run's own steps (the transfer into the
// image buffer, the encode, the window) are what the next file waits for.
constexpr int kWorkerNiceness = 10;
constexpr char kThreadName[] = "picture-ahead"; // as tools that list threads show them

std::atomic<bool> enabled{true};
std::atomic<int> filesOpened{0};
std::optional<std::size_t> budgetOverride; // user-interface thread only

int processorCount() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) != 0)
        return 1;
    return std::max(1, CPU_COUNT(&set));
}

// The memory the system could hand out without swapping; a quarter of it is the budget.
std::size_t memoryAvailable() {
    std::ifstream meminfo("/proc/meminfo");
    std::string line;
    while (std::getline(meminfo, line)) {
        if (line.rfind("MemAvailable:", 0) == 0)
            return std::strtoull(line.c_str() + 13, nullptr, 10) * 1024; // in kB
    }
    const long pages = ::sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? static_cast<std::size_t>(pages) * pageSize : 0;
}

// Thrown through a decoder when its picture is to be loaded in its turn instead: it does not fit
// into the budget, or the run has ended.
struct InItsTurn {};

void lowerOwnPriority() {
    const auto self = static_cast<id_t>(::gettid());
    errno = 0;
    const int niceness = ::getpriority(PRIO_PROCESS, self);
    if (errno == 0)
        ::setpriority(PRIO_PROCESS, self, std::min(niceness + kWorkerNiceness, 19));
}

} // namespace

// One run's read-ahead: its files, what became of each, and the memory it holds. Every member is
// guarded by the workers' mutex.
class ReadAheadSession {
public:
    enum class Stage {
        Waiting, // not read yet
        Working, // being read or decoded
        Ready,   // decoded, waiting for its turn
        Dropped, // failed, too large, changed or past: loaded in its turn, if at all
        Taken,   // handed to the run
    };

    ReadAheadSession(const QStringList& paths, std::size_t budget, int concurrency, int heifThreads)
        : paths_(paths.begin(), paths.end()), entries_(paths_.size()), budget_(budget),
          concurrency_(concurrency), heifThreads_(heifThreads) {
        positions_.reserve(static_cast<qsizetype>(paths_.size()));
        for (std::size_t position = 0; position < paths_.size(); ++position)
            positions_.insert(paths_[position], static_cast<int>(position));
    }

    bool canRead() const noexcept {
        return !ended_ && !reading_ && working_ < concurrency_ && nextToRead_ < size() &&
               nextToRead_ < nextToTake_ + kMostAhead;
    }

    // Reads and decodes the next file; called with lock held and returns with it held.
    void work(std::unique_lock<std::mutex>& lock, std::condition_variable& changed);
    std::optional<DecodedPicture> take(std::unique_lock<std::mutex>& lock,
                                       std::condition_variable& changed, const QString& path);
    bool waitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                 const QString& path) const;
    // Stops it and frees what it decoded ahead.
    void end() noexcept;

private:
    struct Entry {
        Stage stage = Stage::Waiting;
        DecodedPicture picture;
        FileIdentity identity;
        std::size_t held = 0; // bytes of the budget
        bool passed = false;  // the run went past it while it was being decoded
    };

    int size() const noexcept { return static_cast<int>(paths_.size()); }
    void reserve(std::unique_lock<std::mutex>& lock, std::condition_variable& changed, int index,
                 std::size_t bytes, std::size_t total);
    void release(Entry& entry) noexcept {
        held_ -= entry.held;
        entry.held = 0;
    }
    // Drops what is read ahead for an entry the run has passed. It takes no memory, so that the
    // end of a run cannot fail; the run passes a picture decoded ahead only when it ends.
    void pass(int index) noexcept;
    void skipPassed() noexcept {
        while (nextToRead_ < size() && entries_[nextToRead_].stage != Stage::Waiting)
            ++nextToRead_;
    }

    const std::vector<QString> paths_;
    QHash<QString, int> positions_;
    std::vector<Entry> entries_;
    const std::size_t budget_;
    const int concurrency_;
    const int heifThreads_;
    std::size_t held_ = 0;
    int nextToRead_ = 0;
    int nextToTake_ = 0; // the run has asked for every file before it
    int working_ = 0;
    bool reading_ = false; // a worker is reading: the next may not start
    bool ended_ = false;
};

void ReadAheadSession::reserve(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                               int index, std::size_t bytes, std::size_t total) {
    if (total > budget_)
        throw InItsTurn{};
    // Only the worker that reads may wait here, so the files get their memory in the run's order:
    // what the run waits for is never kept waiting by a file behind it.
    changed.wait(lock, [&] { return ended_ || held_ + bytes <= budget_; });
    if (ended_)
        throw InItsTurn{};
    held_ += bytes;
    entries_[index].held += bytes;
}

void ReadAheadSession::work(std::unique_lock<std::mutex>& lock, std::condition_variable& changed) {
    const int index = nextToRead_++;
    skipPassed();
    entries_[index].stage = Stage::Working;
    reading_ = true;
    ++working_;
    setHeifDecodingThreads(heifThreads_);

    bool readsStill = true;
    std::optional<DecodedPicture> picture;
    FileIdentity identity;
    try {
        // Opened under the lock: once the run has ended, no file is opened.
        PictureFile file(paths_[index]);
        filesOpened.fetch_add(1, std::memory_order_relaxed);
        identity = file.identity();
        const std::size_t fileBytes = file.size();
        reserve(lock, changed, index, fileBytes, fileBytes);
        lock.unlock();
        ReadBuffer buffer;
        const std::span<const std::uint8_t> data = file.read(buffer);
        picture = decodeToMemory(data, [&](std::size_t bytes) {
            std::unique_lock inner(*lock.mutex());
            reserve(inner, changed, index, bytes, fileBytes + bytes);
            // The decoder knows its need: the next file may be read.
            reading_ = readsStill = false;
            changed.notify_all();
        });
    } catch (...) {
        // Whatever failed is loaded in its turn and fails there as it would have.
    }
    if (!lock.owns_lock())
        lock.lock();
    if (readsStill)
        reading_ = false;
    --working_;
    Entry& entry = entries_[index];
    if (picture && !ended_ && !entry.passed) {
        // The file's bytes and the decoder's working memory are free again: the picture stays.
        held_ -= entry.held;
        entry.held = picture->pixels.footprint();
        held_ += entry.held;
        entry.picture = std::move(*picture);
        entry.identity = identity;
        entry.stage = Stage::Ready;
        picture.reset();
    } else {
        release(entry);
        entry.stage = Stage::Dropped;
    }
    changed.notify_all();
    if (picture) {
        // A picture nobody will take is freed outside the lock.
        lock.unlock();
        picture.reset();
        lock.lock();
    }
}

void ReadAheadSession::pass(int index) noexcept {
    Entry& entry = entries_[index];
    switch (entry.stage) {
    case Stage::Ready:
        entry.picture = {};
        release(entry);
        entry.stage = Stage::Dropped;
        break;
    case Stage::Waiting:
        entry.stage = Stage::Dropped;
        break;
    case Stage::Working: // dropped by its worker when done
        entry.passed = true;
        break;
    case Stage::Dropped:
    case Stage::Taken:
        break;
    }
}

std::optional<DecodedPicture> ReadAheadSession::take(std::unique_lock<std::mutex>& lock,
                                                     std::condition_variable& changed,
                                                     const QString& path) {
    const auto found = positions_.constFind(path);
    if (found == positions_.constEnd() || *found < nextToTake_)
        return std::nullopt;
    const int index = *found;
    for (int passed = nextToTake_; passed < index; ++passed)
        pass(passed);
    nextToTake_ = index + 1;
    Entry& entry = entries_[index];
    if (entry.stage == Stage::Waiting)
        entry.stage = Stage::Dropped; // not read yet: the run loads it now
    skipPassed();
    changed.notify_all();
    changed.wait(lock, [&] { return entry.stage != Stage::Working; });
    if (entry.stage != Stage::Ready)
        return std::nullopt;
    release(entry);
    entry.stage = Stage::Taken;
    DecodedPicture picture = std::move(entry.picture);
    const FileIdentity identity = entry.identity;
    lock.unlock();
    // Replaced, rewritten or gone since it was read: loaded anew, as the file is now.
    if (fileIdentity(path) != identity)
        return std::nullopt;
    return picture;
}

bool ReadAheadSession::waitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                               const QString& path) const {
    const auto found = positions_.constFind(path);
    if (found == positions_.constEnd())
        return false;
    const int index = *found;
    const Entry& entry = entries_[index];
    // Beyond the files read ahead of the run's position it will not be read before the run
    // moves on.
    changed.wait(lock, [&] {
        return ended_ || concurrency_ == 0 || index >= nextToTake_ + kMostAhead ||
               (entry.stage != Stage::Waiting && entry.stage != Stage::Working);
    });
    return entry.stage == Stage::Ready;
}

void ReadAheadSession::end() noexcept {
    ended_ = true;
    for (int index = 0; index < size(); ++index)
        pass(index);
}

namespace {

// The worker threads, shared by the runs one after another; a thread still finishing a decode for
// a run that has ended serves the next one afterwards. Made after the pixel memory pool (the
// pictures it frees go there), so that it is gone, and its threads ended, before the pool.
class Workers {
public:
    static Workers& instance() {
        static Workers workers;
        return workers;
    }

    ~Workers() { join(); }

    std::shared_ptr<ReadAheadSession> begin(const QStringList& paths) {
        const int processors = processorCount();
        if (!enabled || processors <= 1 || paths.isEmpty())
            return nullptr;
        prepareDecoders();
        const std::size_t budget = budgetOverride.value_or(memoryAvailable() / 4);
        start(processors);
        const std::unique_lock lock(mutex_);
        if (threads_.empty())
            return nullptr;
        const int workers = std::min(processors, static_cast<int>(threads_.size()));
        // libheif's own decoding threads, per worker, so that all together stay near the number of
        // processors; 0: a picture's tiles are decoded on the worker itself.
        const int perWorker = processors / workers;
        current_ = std::make_shared<ReadAheadSession>(paths, budget, workers,
                                                      perWorker > 1 ? perWorker : 0);
        changed_.notify_all();
        return current_;
    }

    void end(const std::shared_ptr<ReadAheadSession>& session) noexcept {
        const std::unique_lock lock(mutex_);
        session->end();
        if (current_ == session)
            current_.reset();
        changed_.notify_all();
    }

    std::optional<DecodedPicture> take(const QString& path) {
        std::unique_lock lock(mutex_);
        if (!current_)
            return std::nullopt;
        const std::shared_ptr<ReadAheadSession> session = current_;
        return session->take(lock, changed_, path);
    }

    bool waitFor(const QString& path) {
        std::unique_lock lock(mutex_);
        return current_ && current_->waitFor(lock, changed_, path);
    }

    void join() {
        std::vector<std::thread> threads;
        {
            const std::unique_lock lock(mutex_);
            stopping_ = true;
            threads.swap(threads_);
            changed_.notify_all();
        }
        for (std::thread& thread : threads)
            thread.join();
        const std::unique_lock lock(mutex_);
        stopping_ = false;
    }

private:
    Workers() {
        // The pool must outlive the workers, whose pictures return their memory to it.
        gdi::recycledBlockLimit();
    }

    // Starts threads up to count; fewer when the system refuses more.
    void start(int count) {
        const std::unique_lock lock(mutex_);
        if (threads_.empty() && QCoreApplication::instance())
            qAddPostRoutine(endReadAheadWorkers);
        while (static_cast<int>(threads_.size()) < count) {
            try {
                threads_.emplace_back([this] { serve(); });
            } catch (const std::system_error&) {
                break;
            }
        }
    }

    void serve() {
        ::pthread_setname_np(::pthread_self(), kThreadName);
        lowerOwnPriority();
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [&] { return stopping_ || (current_ && current_->canRead()); });
            if (stopping_)
                return;
            const std::shared_ptr<ReadAheadSession> session = current_;
            session->work(lock, changed_);
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::thread> threads_;
    std::shared_ptr<ReadAheadSession> current_;
    bool stopping_ = false;
};

} // namespace

PictureReadAhead::PictureReadAhead(const QStringList& paths)
    : session_(Workers::instance().begin(paths)) {
    if (session_) {
        // As many spare blocks as the pictures read ahead, and those being decoded, may return at
        // once.
        previousBlockLimit_ = gdi::recycledBlockLimit();
        gdi::setRecycledBlockLimit(previousBlockLimit_ + kMostAhead + processorCount());
    }
}

PictureReadAhead::~PictureReadAhead() {
    if (!session_)
        return;
    Workers::instance().end(session_);
    gdi::setRecycledBlockLimit(previousBlockLimit_);
}

std::optional<DecodedPicture> takeReadAhead(const QString& path) {
    return Workers::instance().take(path);
}

void endReadAheadWorkers() {
    Workers::instance().join();
}

namespace hooks {

void setReadAheadEnabled(bool on) {
    enabled = on;
}

void setReadAheadBudget(std::optional<std::size_t> bytes) {
    budgetOverride = bytes;
}

bool waitForReadAhead(const QString& path) {
    return Workers::instance().waitFor(path);
}

int readAheadFilesOpened() {
    return filesOpened.load();
}

} // namespace hooks

} // namespace platform
