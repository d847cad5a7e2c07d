#include "export/TwoThreadFormat.h"

#include "platform/TextFile.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace velmar {

TwoThreadFormat::TwoThreadFormat(size_t pieceCount, Format format)
    : pieceCount_(pieceCount)
    , format_(std::move(format))
    , ready_(pieceCount)
    , done_(pieceCount, false)
{
}

TwoThreadFormat::~TwoThreadFormat()
{
    stopHelper();
}

void TwoThreadFormat::run(OutText& out, std::string& last)
{
    try {
        helper_ = std::thread([this] { helperRun(); });
    } catch (const std::system_error&) {
        helperFailed_ = true;
    }
    try {
        for (size_t piece = 0; piece < pieceCount_; ++piece) {
            std::string text = obtain(piece);
            if (piece + 1 == pieceCount_) {
                last = std::move(text);
                break;
            }
            out.write(text);
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                written_ = piece + 1;
            }
            changed_.notify_all();
        }
    } catch (...) {
        stopHelper();
        throw;
    }
    stopHelper();
}

// The text of the piece to be written next: formatted here when nobody else has it, or when the other
// thread failed before it was done; meanwhile, pieces further on.
std::string TwoThreadFormat::obtain(size_t piece)
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (done_[piece])
            return std::move(ready_[piece]);
        // A piece taken here is done before this looks again: one taken and not done is the other
        // thread's, which never finishes it once it stopped.
        if (next_ == piece || (helperFailed_ && piece < next_)) {
            next_ = std::max(next_, piece + 1);
            lock.unlock();
            std::string text;
            format_(piece, text);
            return text;
        }
        if (mayTakeNext()) {
            const size_t ahead = next_++;
            lock.unlock();
            std::string text;
            format_(ahead, text);
            lock.lock();
            ready_[ahead] = std::move(text);
            done_[ahead] = true;
            continue;
        }
        changed_.wait(lock);
    }
}

void TwoThreadFormat::helperRun() noexcept
{
    for (;;) {
        size_t piece = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return stop_ || next_ >= pieceCount_ || mayTakeNext(); });
            if (stop_ || next_ >= pieceCount_)
                return;
            piece = next_++;
        }
        std::string text;
        try {
            format_(piece, text);
        } catch (...) {
            const std::lock_guard<std::mutex> lock(mutex_);
            helperFailed_ = true;
            changed_.notify_all();
            return;
        }
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            ready_[piece] = std::move(text);
            done_[piece] = true;
            ++byHelper_;
        }
        changed_.notify_all();
    }
}

void TwoThreadFormat::stopHelper() noexcept
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    if (helper_.joinable())
        helper_.join();
}

} // namespace velmar
