#include "statistics/SessionExtraction.h"

#include "platform/Converters.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Saturating.h"
#include "statistics/Charging.h"
#include "statistics/DayList.h"
#include "statistics/LogDate.h"
#include "statistics/LogText.h"
#include "statistics/MarkerScan.h"
#include "statistics/SizeText.h"
#include "statistics/Table.h"
#include "statistics/TextSearch.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace velmar {

namespace {

// The most of an address line that is kept. An address is a few dozen characters; the rest of a damaged
// line of megabytes would widen the address column of every export line to its size.
constexpr size_t kMaxAddress = 255;

constexpr unsigned bit(Marker m)
{
    return 1u << m;
}

// `before`: the bytes in front of the line that may be read as well (see findText).
bool contains(std::string_view line, std::string_view marker, size_t before = 0)
{
    return findText(line, marker, before) != std::string_view::npos;
}

// The four operations that cut and read a line. A position p counts from 1, so "remove p + k characters"
// removes the marker's first character and k characters after it.

std::string_view dropFirst(std::string_view line, size_t count)
{
    return line.substr(std::min(count, line.size()));
}

std::string_view cutAt(std::string_view line, std::string_view marker, size_t k, size_t before = 0)
{
    const size_t at = findText(line, marker, before);
    const size_t p = at == std::string_view::npos ? 0 : at + 1;
    return dropFirst(line, p + k);
}

std::string_view word(std::string_view line, size_t before = 0)
{
    const size_t space = findText(line, ' ', before);
    return space == std::string_view::npos ? std::string_view {} : line.substr(0, space);
}

std::string_view partBefore(std::string_view line, std::string_view marker, size_t before = 0)
{
    const size_t at = findText(line, marker, before);
    return at == std::string_view::npos ? std::string_view {} : line.substr(0, at);
}

// A line of a session: its text as the tests so far have cut it down (always an end part of the line as
// read), which markers the line as read holds, and where each first stands when that is known.
struct SessionLine {
    std::string_view read;
    std::string_view text;
    MarkerPositions found;
    bool placed = true; // found.first is set

    // The bytes of the line as read in front of the text.
    size_t cut() const { return static_cast<size_t>(text.data() - read.data()); }

    bool has(Marker m) const
    {
        if ((found.markers & bit(m)) == 0)
            return false;
        // An occurrence at or behind the cut lies wholly in the text; one cut away may have a later twin.
        return cut() == 0 || (placed && found.first[m] >= cut()) || contains(text, kMarkers[m], cut());
    }
};

struct DayRange {
    double first;
    double last;
};

} // namespace

// The reading of the log line by line. It is fed one line at a time and keeps between lines whether a
// session is open and what it has gathered, so a read can stop at any line and go on later with the lines
// appended since, as if the log had been read in one go.
class Extraction {
public:
    Extraction(const Charge& charge, std::optional<DayRange> range)
        : charge_(charge)
        , range_(range)
        , money_(charge.tarifPerMin)
    {
    }

    // The tables the lines are counted into; the same ones for every line of a read.
    void attach(Table& Str, DayList& dat1, SessionTimes& times)
    {
        Str_ = &Str;
        dat1_ = &dat1;
        times_ = &times;
    }

    void run(LogText& log)
    {
        std::string_view text;
        const std::vector<CandidateLine>* candidates = nullptr;
        while (log.readText(text, candidates)) {
            if (candidates != nullptr)
                feedCandidates(text, *candidates);
            else
                feedText(text);
        }
    }

    // Takes in a run of whole lines whose lines that may matter were found already (scanCandidates).
    void feedCandidates(std::string_view text, const std::vector<CandidateLine>& candidates)
    {
        for (const CandidateLine& candidate : candidates) {
            const std::string_view bytes = text.substr(candidate.start, candidate.size);
            if (candidate.plain)
                feed(bytes, &candidate);
            else
                feed(withoutCarriageReturns(bytes, line_));
        }
    }

    // Takes in a run of whole lines as they stand in the log (carriage returns kept; the last line may lack
    // its line feed). Only the lines that may matter are fed: a line without "CONNECT" outside a session,
    // or without a marker inside one, does nothing, so the runs between are passed over unsplit.
    void feedText(std::string_view text)
    {
        const char* from = text.data();
        const char* const end = from + text.size();
        while (from < end) {
            const char* hit = findCandidate(from, end, inSession_);
            if (hit == end)
                return;
            const auto* before = static_cast<const char*>(::memrchr(from, '\n', static_cast<size_t>(hit - from)));
            const char* lineStart = before == nullptr ? from : before + 1;
            const auto* lineFeed = static_cast<const char*>(std::memchr(hit, '\n', static_cast<size_t>(end - hit)));
            const char* lineEnd = lineFeed == nullptr ? end : lineFeed;
            feed(withoutCarriageReturns({ lineStart, static_cast<size_t>(lineEnd - lineStart) }, line_));
            from = lineFeed == nullptr ? end : lineFeed + 1;
        }
    }

    // Takes in the next line as read; `scanned` tells what it holds when the scan of its block found that.
    void feed(std::string_view line, const CandidateLine* scanned = nullptr)
    {
        if (!inSession_) {
            if (scanned != nullptr ? scanned->connect : contains(line, kConnect))
                begin(line);
            return;
        }
        // Where the markers stand is only filled in when they are looked for here; left unset, it costs
        // nothing for the lines whose markers the scan found.
        SessionLine current;
        current.read = current.text = line;
        current.placed = scanned == nullptr;
        if (scanned != nullptr)
            current.found.markers = scanned->markers;
        else
            findMarkers(line, current.found);
        applyTests(current);
        if (endsSession(current)) {
            inSession_ = false;
            if (current.has(kCompleted) || current.has(kCarrierLoss))
                count(current.text);
        }
    }

    int rowsCounted() const { return row_ - 1; }

private:
    void begin(std::string_view line)
    {
        // The pending row is gathered here and written into the table in one piece when it is counted;
        // until then it lies beyond RowCount, where nobody reads it.
        address_.clear();
        received_ = 0;
        // A partial or rejected file must never take its count from a file of an earlier session.
        earlier_ = 0;

        line = dropFirst(line, 2);
        const std::string_view date = word(line);
        date_.assign(date);
        const double day = dayOf(date);
        times_->SessionStart = day;
        const bool excluded = range_ && (day < range_->first || day > range_->last);
        line = cutAt(line, " ", 0);
        const std::string_view time = word(line);
        start_.assign(time);
        times_->SessionStart += toTimeOfDay(time);
        // A session outside the range is passed over, and its lines are looked at for the next "CONNECT".
        inSession_ = !excluded;
    }

    void applyTests(SessionLine& line)
    {
        if (line.has(kAddress)) {
            line.text = cutAt(line.text, "Address", 9, line.cut());
            std::string_view address = word(line.text, line.cut());
            if (address.empty())
                address = line.text;
            address_.assign(address.substr(0, kMaxAddress));
        }
        if (line.has(kReceiving) && !line.has(kFromOffset)) {
            line.text = cutAt(line.text, "' (", 2, line.cut());
            if (contains(line.text, "' (", line.cut()))
                line.text = cutAt(line.text, "' (", 2, line.cut());
            std::string_view size = partBefore(line.text, "b)", line.cut());
            if (size.empty())
                size = "0";
            earlier_ = received_;
            received_ = addSaturating(received_, plainNumber(size));
        }
        if (line.has(kFromOffset)) {
            line.text = cutAt(line.text, "offset", 6, line.cut());
            received_ = subtractSaturating(received_, plainNumber(line.text));
        }
        if (line.has(kPartOf)) {
            line.text = cutAt(line.text, " (", 1, line.cut());
            received_ = addSaturating(earlier_, plainNumber(partBefore(line.text, "b)", line.cut())));
        }
        if (line.has(kRejected))
            received_ = earlier_;
    }

    // The end of the log ends a session too, uncounted unless its last line counts it: a read that stops
    // there simply feeds no further line.
    static bool endsSession(const SessionLine& line)
    {
        return line.has(kInitializing) || line.has(kCompleted) || line.has(kSessionAborted) || line.has(kCarrierLoss);
    }

    void count(std::string_view line)
    {
        line = dropFirst(line, 2);
        times_->SessionEnd = dayOf(word(line));
        line = cutAt(line, " ", 0);
        const std::string_view end = word(line);
        times_->SessionEnd += toTimeOfDay(end);

        Str_->setRowCount(row_ + 1);
        const std::string received = SizeToStr(received_);
        // The money texts of the rebuild's tariff are kept from session to session.
        const SessionCharge charged = chargeSession(times_->SessionStart, times_->SessionEnd, charge_, money_);
        const std::array<std::string_view, 7> cells
            = { date_, start_, end, address_, charged.minutesText, received, charged.money };
        Str_->setRow(row_, cells);
        // Sessions come day by day: a day just counted is listed already.
        if (date_ != lastCountedDay_) {
            dat1_->add(date_);
            lastCountedDay_ = date_;
        }
        // A table cannot hold more rows than an int counts; the last one would be written over instead.
        if (row_ < std::numeric_limits<int>::max() - 1)
            ++row_;
    }

    // The date value of a date text. The lines of a session, and most sessions of a day, carry the same
    // date text, so the last one read is kept.
    double dayOf(std::string_view date)
    {
        if (!haveLastDate_ || date != lastDateText_) {
            const double day = VelmarToDate(date);
            lastDateText_.assign(date);
            lastDate_ = day;
            haveLastDate_ = true;
        }
        return lastDate_;
    }

    // The plain number of a text: its commas removed, then read as a 32-bit integer.
    int32_t plainNumber(std::string_view text)
    {
        // A size as the mailer writes it, digits with commas between, is read in the same pass; anything
        // else takes the general way and its rules.
        int32_t quick = 0;
        unsigned digits = 0;
        bool plain = true;
        for (const char c : text) {
            if (c == ',')
                continue;
            if (!isDecimalDigit(c) || ++digits > 9) {
                plain = false;
                break;
            }
            quick = quick * 10 + (c - '0');
        }
        if (plain && digits != 0)
            return quick;
        number_.clear();
        for (const char c : text) {
            if (c != ',')
                number_ += c;
        }
        return toInt32(number_);
    }

    const Charge charge_;
    const std::optional<DayRange> range_;
    Table* Str_ = nullptr;
    DayList* dat1_ = nullptr;
    SessionTimes* times_ = nullptr;
    bool inSession_ = false;
    int row_ = 1;
    int64_t received_ = 0;
    int64_t earlier_ = 0;
    MoneyTexts money_;
    std::string date_;
    std::string start_;
    std::string address_;
    std::string number_;
    std::string line_; // a line fed with its carriage returns dropped
    std::string lastCountedDay_;
    std::string lastDateText_;
    double lastDate_ = 0;
    bool haveLastDate_ = false;
};

namespace {

// Appended lines are few; a continuation reads them in blocks of this size.
constexpr size_t kContinueBlock = size_t { 1 } << 20;

std::optional<DayRange> dayRange(std::string_view dat1Text, std::string_view dat2Text)
{
    if (dat1Text.empty() || dat2Text.empty())
        return std::nullopt;
    return DayRange { VelmarToDate(dat1Text), VelmarToDate(dat2Text) };
}

// The log as LogText reads it: a byte order mark at the start of the file is no text of it.
std::string_view withoutByteOrderMark(std::string_view bytes)
{
    return bytes.starts_with(kByteOrderMark) ? bytes.substr(kByteOrderMark.size()) : bytes;
}

} // namespace

void FillTabl(LogText& log, std::string_view dat1Text, std::string_view dat2Text, const Charge& charge, Table& Str,
    DayList& dat1, std::vector<std::string>& dat2Items, SessionTimes& times, LogContinuation* continuation)
{
    auto extraction = std::make_unique<Extraction>(charge, dayRange(dat1Text, dat2Text));
    extraction->attach(Str, dat1, times);
    if (continuation)
        continuation->resumable_ = false; // until the read is complete

    log.reset();
    Str.setRowCount(2);
    Str.clearRow(1);
    try {
        extraction->run(log);
    } catch (...) {
        log.close();
        throw;
    }
    if (continuation) {
        const LogText::ReadEnd end = log.readEnd();
        continuation->extraction_ = std::move(extraction);
        continuation->offset_ = end.offset;
        continuation->device_ = log.logIdentity().device;
        continuation->inode_ = log.logIdentity().inode;
        continuation->ended_ = end.ctrlZ;
        // A last line without its line feed was taken as a whole line; what the mailer adds to it would
        // make it another line.
        continuation->resumable_ = !end.lastLineOpen;
    }
    log.close();
    dat2Items = dat1.items();
}

int sessionRowsEnd(const Table& Str)
{
    return Str.rowCount() < 2 || Str.cell(0, 1).empty() ? 1 : Str.rowCount();
}

LogContinuation::LogContinuation(std::string_view dat1Text, std::string_view dat2Text, const Charge& charge)
    : extraction_(std::make_unique<Extraction>(charge, dayRange(dat1Text, dat2Text)))
{
}

LogContinuation::~LogContinuation() = default;
LogContinuation::LogContinuation(LogContinuation&&) noexcept = default;
LogContinuation& LogContinuation::operator=(LogContinuation&&) noexcept = default;

Continued continueFillTabl(const std::string& path, LogContinuation& continuation, Table& Str, DayList& dat1,
    std::vector<std::string>& dat2Items, SessionTimes& times)
{
    if (!continuation.resumable())
        return Continued::Rebuild;
    FileDescriptor file(openRegularFile(path));
    if (file.get() < 0)
        throw InOutError::fromErrno(errno);
    if (!lockShared(file.get()))
        return Continued::Locked;
    struct stat info { };
    if (::fstat(file.get(), &info) != 0)
        throw InOutError::fromErrno(errno);
    return continueFrom(file.get(), static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
        static_cast<uint64_t>(info.st_size), continuation, Str, dat1, dat2Items, times);
}

Continued continueFillTabl(const LogText& copy, LogContinuation& continuation, Table& Str, DayList& dat1,
    std::vector<std::string>& dat2Items, SessionTimes& times)
{
    struct stat info { };
    if (copy.copyDescriptor() < 0)
        throw InOutError::notOpen();
    if (::fstat(copy.copyDescriptor(), &info) != 0)
        throw InOutError::fromErrno(errno);
    // The copy stands for the log it was made of: the offset counts in that log.
    return continueFrom(copy.copyDescriptor(), copy.logIdentity().device, copy.logIdentity().inode,
        static_cast<uint64_t>(info.st_size), continuation, Str, dat1, dat2Items, times);
}

Continued continueFrom(int fd, uint64_t device, uint64_t inode, uint64_t size, LogContinuation& continuation,
    Table& Str, DayList& dat1, std::vector<std::string>& dat2Items, SessionTimes& times)
{
    if (!continuation.resumable_)
        return Continued::Rebuild;
    if (continuation.inode_ != 0 && (continuation.device_ != device || continuation.inode_ != inode))
        return Continued::Rebuild;
    continuation.device_ = device;
    continuation.inode_ = inode;
    if (size < continuation.offset_)
        return Continued::Rebuild;
    if (size == continuation.offset_ || continuation.ended_)
        return Continued::Nothing;

    // Only what lies behind the offset is read; a line is taken once its line feed is written. The whole
    // lines read are searched and fed as a rebuild reads them (scanCandidates, feedCandidates); what follows
    // the last line feed waits for the next block or call.
    Extraction& extraction = *continuation.extraction_;
    extraction.attach(Str, dat1, times);
    std::string lines; // the bytes read from `taken` on
    std::vector<char> block(kContinueBlock);
    std::vector<CandidateLine> candidates;
    uint64_t at = continuation.offset_;
    uint64_t taken = continuation.offset_;
    bool read = false;
    continuation.resumable_ = false; // until every line read is taken in
    while (at < size && !continuation.ended_) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(block.size(), size - at));
        const ssize_t n = retryInterrupted([&] { return ::pread(fd, block.data(), want, static_cast<off_t>(at)); });
        if (n < 0)
            throw InOutError::fromErrno(errno);
        if (n == 0)
            break; // shortened since the fstat: the next call sees it
        std::string_view bytes(block.data(), static_cast<size_t>(n));
        if (at == 0) {
            bytes = withoutByteOrderMark(bytes);
            taken = static_cast<uint64_t>(n) - bytes.size();
        }
        at += static_cast<uint64_t>(n);
        // Only the bytes just read can hold a new last line feed: a long unfinished line is not searched again.
        const size_t kept = lines.size();
        lines.append(bytes);
        const auto* lineFeed = static_cast<const char*>(::memrchr(lines.data() + kept, '\n', bytes.size()));
        if (lineFeed == nullptr)
            continue;
        const auto lastLineFeed = static_cast<size_t>(lineFeed - lines.data());
        const std::string_view whole = std::string_view(lines).substr(0, lastLineFeed + 1);
        // The search counts in 32 bits: a line of gigabytes is left to a rebuild, which reads it in pieces.
        if (whole.size() > std::numeric_limits<uint32_t>::max())
            return Continued::Rebuild;
        candidates.clear();
        const size_t stop = scanCandidates(whole, candidates);
        extraction.feedCandidates(whole, candidates);
        read = read || stop > 0;
        taken += stop;
        if (stop < whole.size()) {
            continuation.ended_ = true; // a Ctrl+Z starts the line at `stop`
            break;
        }
        lines.erase(0, whole.size());
    }
    // A Ctrl+Z that starts the unfinished last line ends the text as well.
    if (!continuation.ended_ && !lines.empty() && lines.front() == kCtrlZ)
        continuation.ended_ = true;
    continuation.offset_ = taken;
    continuation.resumable_ = true;
    dat2Items = dat1.items();
    return read ? Continued::Read : Continued::Nothing;
}

} // namespace velmar
