#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace velmar {

/// Makes what was written to a file durable while more is being written, on a thread of its own, so that
/// the sync that must come before the file takes its place finds little left to do. The thread spends its
/// time waiting for the disk, not on the processor.
///
/// A failed sync is kept and given to the caller at the end: once reported, the system need not report it
/// again to a later sync of the same file.
class BackgroundSync {
public:
    /// Makes the file's data durable; returns 0 or an errno. fdatasync by default.
    using Sync = std::function<int(int fd)>;

    /// Raises std::system_error when the thread cannot be started.
    explicit BackgroundSync(int fd, Sync sync = {});
    /// Stops as finish() does.
    ~BackgroundSync();
    BackgroundSync(const BackgroundSync&) = delete;
    BackgroundSync& operator=(const BackgroundSync&) = delete;

    /// Asks for what was written so far to be made durable; requests that come while a sync runs are
    /// answered together by the next one.
    void request();
    /// Waits for a sync in progress, starts none, and ends the thread. Returns the errno of the first
    /// sync that failed, or 0. The descriptor must stay open until this returns.
    int finish();
    /// The syncs made so far.
    uint64_t syncs() const;

private:
    void run();

    int fd_;
    Sync sync_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    uint64_t asked_ = 0;
    uint64_t made_ = 0;
    bool stop_ = false;
    int error_ = 0;
    std::thread thread_; // last: it starts once the rest is ready
};

} // namespace velmar
