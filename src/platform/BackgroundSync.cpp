#include "platform/BackgroundSync.h"

#include "platform/Files.h"

#include <cerrno>
#include <unistd.h>
#include <utility>

namespace velmar {

namespace {

// A signal that interrupts the sync is no failure of the disk: the sync is made again.
int syncData(int fd)
{
    return retryInterrupted([fd] { return ::fdatasync(fd); }) == 0 ? 0 : errno;
}

} // namespace

BackgroundSync::BackgroundSync(int fd, Sync sync)
    : fd_(fd)
    , sync_(sync ? std::move(sync) : Sync(syncData))
    , thread_([this] { run(); })
{
}

BackgroundSync::~BackgroundSync()
{
    finish();
}

void BackgroundSync::request()
{
    {
        const std::lock_guard lock(mutex_);
        ++asked_;
    }
    wake_.notify_one();
}

int BackgroundSync::finish()
{
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable())
        thread_.join();
    const std::lock_guard lock(mutex_);
    return error_;
}

uint64_t BackgroundSync::syncs() const
{
    const std::lock_guard lock(mutex_);
    return made_;
}

void BackgroundSync::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || asked_ != 0; });
        if (stop_)
            return;
        asked_ = 0;
        lock.unlock();
        const int err = sync_(fd_);
        lock.lock();
        ++made_;
        if (err != 0 && error_ == 0)
            error_ = err;
    }
}

} // namespace velmar
