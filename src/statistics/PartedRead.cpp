#include "statistics/PartedRead.h"

#include "platform/LineBlocks.h"
#include "statistics/DayList.h"
#include "statistics/LogText.h"
#include "statistics/SessionExtraction.h"
#include "statistics/Table.h"

#include <atomic>
#include <exception>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace velmar {

namespace {

// The sessions a part notes of itself to be joined by: the reading before it is found in agreement with
// it within one or two sessions, unless a session lacks its closing line.
constexpr size_t kSpansNoted = 64;

// A part of the text after the first, read on a thread of its own into tables of its own.
struct Part {
    Part(int columns, uint64_t from_, uint64_t to_, const Charge& charge, std::optional<DayRange> range)
        : from(from_)
        , to(to_)
        , extraction(std::make_unique<Extraction>(charge, range))
        , table(columns)
    {
        extraction->attach(table, days, times);
        extraction->noteSpans(kSpansNoted);
    }

    // True when the part's reading is known to be outside a session after the line that starts at `line`.
    bool outsideAfter(uint64_t line) const
    {
        if (!finished.load(std::memory_order_acquire) || line >= errorAt || line >= extraction->spansKnownUntil())
            return false;
        for (const Extraction::Span& span : extraction->spans()) {
            if (span.begin > line)
                break;
            if (line < span.end)
                return false;
        }
        return true;
    }

    // The rows it counted before `from`, in sessions whose closing lines start in front of it.
    int rowsBefore(uint64_t line) const
    {
        int rows = 0;
        for (const Extraction::Span& span : extraction->spans())
            rows += span.counted && span.end < line ? 1 : 0;
        return rows;
    }

    const uint64_t from;
    const uint64_t to;
    std::unique_ptr<Extraction> extraction;
    Table table;
    DayList days;
    SessionTimes times;
    Extraction::End end;
    std::exception_ptr error;
    uint64_t errorAt = Extraction::kNowhere; // where the line that failed starts
    std::atomic<bool> finished { false }; // its reading is over: what it found may be looked at
};

void readPart(const LogText& log, Part& part, const std::atomic<bool>& cancel) noexcept
{
    try {
        LineBlocks lines = log.stretch(part.from, part.to);
        part.end = part.extraction->read(lines, false, nullptr, &cancel);
    } catch (...) {
        part.error = std::current_exception();
        part.errorAt = part.extraction->lineAt();
    }
    part.finished.store(true, std::memory_order_release);
}

// The readers of the parts after the first. Each takes the next part nobody has taken yet, in order, until
// none is left: a reader on a processor that goes faster reads more parts. The thread of the first part
// joins in once it is done with that one, between joining the parts that are read. Told to give up and
// waited for on every way out.
class PartReaders {
public:
    PartReaders(const LogText& log, std::vector<std::unique_ptr<Part>>& parts)
        : log_(log)
        , parts_(parts)
    {
    }

    ~PartReaders() { stop(); }

    PartReaders(const PartReaders&) = delete;
    PartReaders& operator=(const PartReaders&) = delete;

    // Starts up to `count` readers on threads of their own; fewer when no more threads can be made.
    void start(unsigned count)
    {
        for (unsigned k = 0; k < count; ++k) {
            try {
                threads_.emplace_back([this] {
                    while (takeOne()) { }
                });
            } catch (const std::system_error&) {
                return;
            }
        }
    }

    // Reads the next part nobody has taken on this thread; false when none is left.
    bool takeOne() noexcept
    {
        const size_t k = next_.fetch_add(1, std::memory_order_relaxed);
        if (k >= parts_.size() || cancel_.load(std::memory_order_relaxed))
            return false;
        readPart(log_, *parts_[k], cancel_);
        return true;
    }

    // Waits for the other readers: every part taken is read then.
    void join()
    {
        for (std::thread& thread : threads_)
            thread.join();
        threads_.clear();
    }

    // Tells the readers to give up, and waits for them.
    void stop() noexcept
    {
        cancel_.store(true, std::memory_order_relaxed);
        join();
    }

private:
    const LogText& log_;
    std::vector<std::unique_ptr<Part>>& parts_;
    std::atomic<size_t> next_ { 0 };
    std::atomic<bool> cancel_ { false };
    std::vector<std::thread> threads_;
};

// The readings that make up the one reading of the text, joined one after the other: the current one
// writes into the rebuild's tables (the first) or into those of its part, whose rows go into the rebuild's
// tables once the reading after it takes over.
class Joining {
public:
    Joining(std::unique_ptr<Extraction> first, Table& Str, DayList& dat1, SessionTimes& times)
        : first_(std::move(first))
        , Str_(Str)
        , dat1_(dat1)
        , times_(times)
        , current_(first_.get())
    {
    }

    Extraction& current() { return *current_; }

    // The part's reading takes over from the line that starts at `from` on: the rows of the current one go
    // into the rebuild's tables.
    void takeOver(Part& part, uint64_t from)
    {
        settle();
        part_ = &part;
        settled_ = false;
        current_ = part.extraction.get();
        firstRow_ = part.rowsBefore(from) + 1;
        validFrom_ = from;
    }

    // Puts what the current reading counted into the rebuild's tables, once it reads no further.
    void settle()
    {
        if (settled_)
            return;
        settled_ = true;
        if (part_ == nullptr) {
            nextRow_ = current_->nextRow();
            return;
        }
        const int rows = current_->nextRow() - firstRow_;
        if (rows > 0) {
            Str_.takeRows(part_->table, firstRow_, rows, nextRow_);
            Str_.setRowCount(nextRow_ + rows);
        }
        if (firstRow_ == 1) {
            for (const std::string& day : part_->days.items())
                dat1_.add(day);
        } else {
            // Its first days may have come only from the rows it counted in the place of others.
            std::string_view last;
            for (int row = nextRow_; row < nextRow_ + rows; ++row) {
                const std::string_view day = Str_.cell(0, row);
                if (day != last)
                    dat1_.add(day);
                last = day;
            }
        }
        // What it wrote of the session times before it took over was written in the place of another.
        if (current_->startWrittenAt() != Extraction::kNowhere && current_->startWrittenAt() >= validFrom_)
            times_.SessionStart = part_->times.SessionStart;
        if (current_->endWrittenAt() != Extraction::kNowhere && current_->endWrittenAt() >= validFrom_)
            times_.SessionEnd = part_->times.SessionEnd;
        nextRow_ += std::max(rows, 0);
        current_->noteSpans(0);
        owner_ = std::move(part_->extraction);
        part_ = nullptr;
    }

    // The reading that holds the state of the end of the text, counting on in the rebuild's tables.
    std::unique_ptr<Extraction> finish()
    {
        settle();
        std::unique_ptr<Extraction> last = owner_ ? std::move(owner_) : std::move(first_);
        last->attach(Str_, dat1_, times_);
        last->setNextRow(nextRow_);
        return last;
    }

private:
    std::unique_ptr<Extraction> first_;
    std::unique_ptr<Extraction> owner_; // the current reading, once a part's has taken over and settled
    Table& Str_;
    DayList& dat1_;
    SessionTimes& times_;
    Extraction* current_;
    Part* part_ = nullptr; // the part of the current reading, while it is not the first
    bool settled_ = false; // its rows are in the rebuild's tables
    int firstRow_ = 1; // its first row that counts
    uint64_t validFrom_ = 0; // the lines from where on its reading counts
    int nextRow_ = 1; // the next row of the rebuild's table, once the first reading is settled
};

} // namespace

std::unique_ptr<Extraction> readWholeText(LogText& log, std::unique_ptr<Extraction> first, const Charge& charge,
    std::optional<DayRange> range, Table& Str, DayList& dat1, SessionTimes& times, Extraction::End& end)
{
    const std::vector<uint64_t> starts = log.partStarts();
    if (starts.size() == 1) {
        LineBlocks lines = log.stretch(starts.front(), LineBlocks::kToTheEnd);
        end = first->read(lines);
        return first;
    }

    std::vector<std::unique_ptr<Part>> parts;
    for (size_t k = 1; k < starts.size(); ++k) {
        const uint64_t to = k + 1 < starts.size() ? starts[k + 1] : LineBlocks::kToTheEnd;
        parts.push_back(std::make_unique<Part>(Str.colCount(), starts[k], to, charge, range));
    }
    PartReaders readers(log, parts);
    readers.start(std::min<unsigned>(log.readers(), static_cast<unsigned>(starts.size())) - 1);
    LineBlocks lines = log.stretch(starts[0], starts[1]);
    end = first->read(lines);
    // Whatever the other parts hold lies behind the end of the text (a Ctrl+Z, or a log cut short while it
    // was read, which the end of the read reports).
    if (end.ctrlZ || end.offset < starts[1])
        return first;

    Joining joining(std::move(first), Str, dat1, times);
    // Joins the part to the reading before it; false when the text ended in front of it.
    const auto join = [&](Part& part) {
        if (end.ctrlZ || end.offset < part.from)
            return false;
        uint64_t from = Extraction::kNowhere;
        if (part.finished.load(std::memory_order_acquire) && !joining.current().inSession()) {
            from = part.from;
        } else {
            // The reading so far goes on into the part until both agree.
            LineBlocks more = log.stretch(part.from, part.to);
            const Extraction::StopAfter agreed = [&part](uint64_t line) { return part.outsideAfter(line); };
            try {
                end = joining.current().read(more, false, &agreed);
            } catch (...) {
                joining.settle();
                throw;
            }
            if (end.stopped)
                from = joining.current().lineAt() + 1;
        }
        if (from == Extraction::kNowhere)
            return true; // read through by the reading before it
        joining.takeOver(part, from);
        end = part.end;
        if (part.error) {
            joining.settle();
            std::rethrow_exception(part.error);
        }
        return true;
    };
    // The parts are joined in order as soon as they are read, while the others are still being read; this
    // thread reads a part whenever none is ready to be joined.
    size_t joined = 0;
    bool ended = false;
    const auto joinRead = [&](bool waited) {
        while (!ended && joined < parts.size() && (waited || parts[joined]->finished.load(std::memory_order_acquire)))
            ended = !join(*parts[joined++]);
    };
    do {
        joinRead(false);
    } while (!ended && readers.takeOne());
    if (ended)
        readers.stop(); // what is left lies behind the end of the text
    readers.join();
    joinRead(true);
    return joining.finish();
}

} // namespace velmar
