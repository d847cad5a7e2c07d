#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velmar {

class OutText;

/// Formats the numbered pieces of a long text on this thread and a second one, and writes them in order.
///
/// Each thread takes the next piece nobody has taken and formats it; this one also writes the pieces, and
/// while the piece to be written next is still being formatted by the other thread, it formats one further
/// on. So the thread that goes faster formats more, and the writing takes its share of this one's time. No
/// piece is taken more than a few ahead of the writing, so what waits to be written stays small however
/// long the text. When the second thread cannot be started or fails (its formatting throws), this one
/// formats what it left; a failed write stops both.
class TwoThreadFormat {
public:
    /// Appends the text of piece `piece` to `text` (empty when called); it may run on either thread.
    using Format = std::function<void(size_t piece, std::string& text)>;

    /// A piece may be taken while it is at most this many ahead of the writing.
    static constexpr size_t kPiecesAhead = 3;

    TwoThreadFormat(size_t pieceCount, Format format);
    ~TwoThreadFormat();
    TwoThreadFormat(const TwoThreadFormat&) = delete;
    TwoThreadFormat& operator=(const TwoThreadFormat&) = delete;

    /// Writes every piece but the last, which is left in `last` for the caller to finish and write. Raises
    /// what a write or this thread's formatting raises, once the other thread has stopped.
    void run(OutText& out, std::string& last);

    /// How many pieces the second thread formatted, once run is over.
    size_t formattedByHelper() const { return byHelper_; }

private:
    std::string obtain(size_t piece);
    bool mayTakeNext() const { return next_ < pieceCount_ && next_ < written_ + kPiecesAhead; }
    void helperRun() noexcept;
    void stopHelper() noexcept;

    const size_t pieceCount_;
    const Format format_;
    std::thread helper_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> ready_; // the pieces formatted ahead of the writing, by number
    std::vector<bool> done_; // which of them are ready
    size_t next_ = 0; // the next piece nobody has taken
    size_t written_ = 0; // the pieces written
    size_t byHelper_ = 0;
    bool helperFailed_ = false;
    bool stop_ = false;
};

} // namespace velmar
