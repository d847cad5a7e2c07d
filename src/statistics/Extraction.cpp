#include "statistics/Extraction.h"

#include "platform/Converters.h"
#include "platform/LineBlocks.h"
#include "platform/Saturating.h"
#include "platform/ShortCopy.h"
#include "statistics/DayList.h"
#include "statistics/LogDate.h"
#include "statistics/LogText.h"
#include "statistics/SessionExtraction.h"
#include "statistics/SizeText.h"
#include "statistics/Table.h"
#include "statistics/TextSearch.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velmar {

std::optional<DayRange> dayRange(std::string_view dat1Text, std::string_view dat2Text)
{
    if (dat1Text.empty() || dat2Text.empty())
        return std::nullopt;
    return DayRange { VelmarToDate(dat1Text), VelmarToDate(dat2Text) };
}

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

// The cut at a marker found at `at` (npos: not found, which removes k characters from the start).
std::string_view cutAtFound(std::string_view line, size_t at, size_t k)
{
    const size_t p = at == std::string_view::npos ? 0 : at + 1;
    return dropFirst(line, p + k);
}

std::string_view cutAt(std::string_view line, std::string_view marker, size_t k, size_t before = 0)
{
    return cutAtFound(line, findText(line, marker, before), k);
}

// The word in front of the first space, found at `space` (npos: there is none, and no word).
std::string_view wordBefore(std::string_view line, size_t space)
{
    return space == std::string_view::npos ? std::string_view {} : line.substr(0, space);
}

std::string_view word(std::string_view line, size_t before = 0)
{
    return wordBefore(line, findText(line, ' ', before));
}

// A line's word and what is left once the line is cut at its first space, from one search for that space.
struct WordAndRest {
    std::string_view word;
    std::string_view rest;
};

WordAndRest wordAndRest(std::string_view line)
{
    const size_t space = findText(line, ' ');
    return { wordBefore(line, space), cutAtFound(line, space, 0) };
}

// Sets a kept text of the session to a short part of a line: the copy of a few bytes is made inline,
// where std::string::assign makes a general copy with a start-up cost of its own.
void assignShort(std::string& kept, std::string_view text)
{
    kept.resize(text.size());
    copyShort(kept.data(), text.data(), text.size());
}

std::string_view partBefore(std::string_view line, std::string_view marker, size_t before = 0)
{
    const size_t at = findText(line, marker, before);
    return at == std::string_view::npos ? std::string_view {} : line.substr(0, at);
}

// The numbers that the two groups of four bytes in `digits` write, a digit's value in each byte (a comma
// as 0) and the lowest byte first: the first group's in the low half of the result, the second's in the
// high half. All eight bytes are combined at once, in pairs and then in groups.
constexpr uint64_t twoGroups(uint64_t digits)
{
    const uint64_t pairs = (digits * 10 + (digits >> 8)) & 0x00FF00FF00FF00FFu;
    return (pairs * 100 + (pairs >> 16)) & 0x0000FFFF0000FFFFu;
}
// ",123,456" as the values of its digits: 123 and 456.
static_assert(twoGroups(0x0605040003020100u) == (uint64_t { 456 } << 32 | 123));

// The size of a "Receiving" line in the form the mailer writes it: behind the "' (" found at `quote`, one to
// nine digits in groups of three with commas between, and "b)" ending the line. The rest of the line then
// holds no second "' (" and no earlier "b)", so the general rules read the same number; here it comes from
// one load of the sixteen bytes in front of the "b", without a branch on each byte. nullopt for any other
// text, which goes the general way. `before` as for findText.
std::optional<int32_t> mailerSize(std::string_view text, size_t quote, size_t before)
{
#if defined(__SSE2__)
    constexpr std::string_view kOpen = "' (";
    constexpr std::string_view kClose = "b)";
    constexpr size_t kLoad = 16;
    if (quote == std::string_view::npos || text.size() + before < kLoad + kClose.size() || !text.ends_with(kClose))
        return std::nullopt;
    const size_t end = text.size() - kClose.size();
    const size_t n = end - std::min(end, quote + kOpen.size());
    // 1 to 3, 5 to 7 or 9 to 11 bytes: a digit leads each group.
    if (n == 0 || n > 11 || n % 4 == 0)
        return std::nullopt;
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + end - kLoad));
    const __m128i values = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
    const __m128i digits = _mm_cmpeq_epi8(_mm_min_epu8(values, _mm_set1_epi8(9)), values);
    const auto digitBits = static_cast<unsigned>(_mm_movemask_epi8(digits));
    const auto commaBits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(','))));
    // Bit i stands for byte i of the load; the size takes its last n bytes, and every fourth from the end
    // is a comma.
    const unsigned span = (0xFFFFu << (kLoad - n)) & 0xFFFFu;
    constexpr unsigned kCommaPlaces = (1u << 12) | (1u << 8) | (1u << 4);
    if ((digitBits & span) != (span & ~kCommaPlaces) || (commaBits & span) != (span & kCommaPlaces))
        return std::nullopt;
    alignas(16) static constexpr std::array<uint8_t, 2 * kLoad> kLastBytes = { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF };
    const __m128i inSpan = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kLastBytes.data() + n));
    const __m128i digitValues = _mm_and_si128(values, _mm_and_si128(digits, inSpan));
    // Bytes 8 to 15 of the load hold the last two groups, bytes 4 to 7 the first of nine digits (a comma
    // or nothing counts 0).
    const auto last = static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(digitValues, digitValues)));
    const auto first = static_cast<uint64_t>(_mm_cvtsi128_si64(digitValues));
    return static_cast<int32_t>(
        1'000'000 * (twoGroups(first) >> 32) + 1'000 * (twoGroups(last) & 0xFFFF) + (twoGroups(last) >> 32));
#else
    static_cast<void>(text), static_cast<void>(quote), static_cast<void>(before);
    return std::nullopt;
#endif
}

} // namespace

// A line of a session: its text as the tests so far have cut it down (always an end part of the line as
// read), which markers the line as read holds, and where each first stands when that is known.
struct Extraction::SessionLine {
    explicit SessionLine(std::string_view line)
        : read(line)
        , text(line)
    {
    }

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

    // The end of the log ends a session too, uncounted unless its last line counts it: a read that stops
    // there simply feeds no further line.
    bool endsSession() const
    {
        return has(kInitializing) || has(kCompleted) || has(kSessionAborted) || has(kCarrierLoss);
    }
};

Extraction::Extraction(const Charge& charge, std::optional<DayRange> range)
    : charge_(charge)
    , range_(range)
    , money_(charge.tarifPerMin)
{
}

void Extraction::attach(Table& Str, DayList& dat1, SessionTimes& times)
{
    Str_ = &Str;
    dat1_ = &dat1;
    times_ = &times;
}

void Extraction::noteSpans(size_t most)
{
    spans_.clear();
    spans_.reserve(most);
    spansWanted_ = most;
    spansKnownUntil_ = kNowhere;
}

Extraction::End Extraction::read(
    LineBlocks& lines, bool wholeLinesOnly, const StopAfter* stopAfter, const std::atomic<bool>* cancel)
{
    End end;
    end.offset = lines.handedUpTo();
    std::string_view run;
    for (;;) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed))
            return end;
        // A read that fails fails here, before the run's first line.
        lineAt_ = lines.handedUpTo();
        if (!lines.next(run))
            return end;
        uint64_t offset = lines.runOffset();
        if (wholeLinesOnly && run.back() != '\n')
            return end; // the line the mailer is still writing waits for its line feed
        // A line that ran over many blocks is taken in alone when the run is too long to be scanned.
        while (run.size() > longestScanned_) {
            if (run.front() == kCtrlZ)
                return { offset, true, false, false };
            const size_t lineFeed = run.find('\n');
            const size_t size = lineFeed == std::string_view::npos ? run.size() : lineFeed + 1;
            lineAt_ = offset;
            feed(withoutCarriageReturns(run.substr(0, std::min(lineFeed, run.size())), line_));
            end = { offset + size, false, lineFeed == std::string_view::npos, false };
            run.remove_prefix(size);
            offset += size;
            if (stopAfter != nullptr && !inSession_ && (*stopAfter)(lineAt_)) {
                end.stopped = true;
                return end;
            }
        }
        if (run.empty())
            continue;
        candidates_.clear();
        const size_t stop = scanCandidates(run, candidates_);
        if (const size_t at = feedScanned(run, offset, stopAfter); at < candidates_.size()) {
            size_t behind = candidates_[at].start + candidates_[at].size;
            if (behind < run.size() && run[behind] == '\r')
                ++behind;
            if (behind < run.size() && run[behind] == '\n')
                ++behind;
            return { offset + behind, false, behind == run.size() && run.back() != '\n', true };
        }
        if (stop < run.size())
            return { offset + stop, true, false, false };
        end = { offset + run.size(), false, run.back() != '\n', false };
    }
}

void Extraction::feedCandidate(std::string_view text, uint64_t offset, const CandidateLine& candidate)
{
    lineAt_ = offset + candidate.start;
    const std::string_view bytes = text.substr(candidate.start, candidate.size);
    if (candidate.plain)
        feed(bytes, &candidate);
    else
        feed(withoutCarriageReturns(bytes, line_));
}

// Feeds the lines of the run that the scan found; the one after which `stopAfter` stopped the read, or the
// number of lines when it did not.
size_t Extraction::feedScanned(std::string_view text, uint64_t offset, const StopAfter* stopAfter)
{
    if (stopAfter == nullptr) {
        for (const CandidateLine& candidate : candidates_)
            feedCandidate(text, offset, candidate);
        return candidates_.size();
    }
    for (size_t k = 0; k < candidates_.size(); ++k) {
        feedCandidate(text, offset, candidates_[k]);
        if (!inSession_ && (*stopAfter)(lineAt_))
            return k;
    }
    return candidates_.size();
}

// Takes in the next line as read; `scanned` tells what it holds when the scan of its block found that.
void Extraction::feed(std::string_view line, const CandidateLine* scanned)
{
    if (!inSession_) {
        if (scanned != nullptr ? scanned->connect : contains(line, kConnect))
            begin(line);
        return;
    }
    // Where the markers stand is only filled in when they are looked for here; left unset, it costs
    // nothing for the lines whose markers the scan found.
    SessionLine current(line);
    current.placed = scanned == nullptr;
    if (scanned != nullptr)
        current.found.markers = scanned->markers;
    else
        findMarkers(line, current.found);
    applyTests(current);
    if (current.endsSession()) {
        inSession_ = false;
        const bool counted = current.has(kCompleted) || current.has(kCarrierLoss);
        if (!spans_.empty() && spans_.back().end == kNowhere) {
            spans_.back().end = lineAt_;
            spans_.back().counted = counted;
        }
        if (counted)
            count(current.text);
    }
}

void Extraction::begin(std::string_view line)
{
    // The pending row is gathered here and written into the table in one piece when it is counted;
    // until then it lies beyond RowCount, where nobody reads it.
    address_.clear();
    received_ = 0;
    // A partial or rejected file must never take its count from a file of an earlier session.
    earlier_ = 0;

    const auto [date, rest] = wordAndRest(dropFirst(line, 2));
    assignShort(date_, date);
    const double day = dayOf(date);
    times_->SessionStart = day;
    startWrittenAt_ = lineAt_;
    const bool excluded = range_ && (day < range_->first || day > range_->last);
    const std::string_view time = word(rest);
    assignShort(start_, time);
    times_->SessionStart += toTimeOfDay(time);
    // A session outside the range is passed over, and its lines are looked at for the next "CONNECT".
    inSession_ = !excluded;
    if (inSession_ && spansKnownUntil_ == kNowhere && spansWanted_ != 0) {
        if (spans_.size() < spansWanted_)
            spans_.push_back({ lineAt_ });
        else
            spansKnownUntil_ = lineAt_;
    }
}

void Extraction::applyTests(SessionLine& line)
{
    if (line.has(kAddress)) {
        line.text = cutAt(line.text, "Address", 9, line.cut());
        std::string_view address = word(line.text, line.cut());
        if (address.empty())
            address = line.text;
        assignShort(address_, address.substr(0, kMaxAddress));
    }
    if (line.has(kReceiving) && !line.has(kFromOffset)) {
        const size_t quote = findText(line.text, "' (", line.cut());
        earlier_ = received_;
        const std::optional<int32_t> inMailersForm = mailerSize(line.text, quote, line.cut());
        line.text = cutAtFound(line.text, quote, 2);
        if (inMailersForm) {
            received_ = addSaturating(received_, *inMailersForm);
        } else {
            if (const size_t again = findText(line.text, "' (", line.cut()); again != std::string_view::npos)
                line.text = cutAtFound(line.text, again, 2);
            std::string_view size = partBefore(line.text, "b)", line.cut());
            if (size.empty())
                size = "0";
            received_ = addSaturating(received_, plainNumber(size));
        }
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

void Extraction::count(std::string_view line)
{
    const auto [date, rest] = wordAndRest(dropFirst(line, 2));
    times_->SessionEnd = dayOf(date);
    endWrittenAt_ = lineAt_;
    const std::string_view end = word(rest);
    times_->SessionEnd += toTimeOfDay(end);

    const std::string received = SizeToStr(received_);
    // The money texts of the rebuild's tariff are kept from session to session. Money beyond a double
    // fails here, before the row is counted: a row counted then would show what an earlier rebuild left
    // in its place.
    const SessionCharge charged = chargeSession(times_->SessionStart, times_->SessionEnd, charge_, money_);
    const std::array<std::string_view, 7> cells
        = { date_, start_, end, address_, charged.minutesText, received, charged.money };
    Str_->setRowCount(row_ + 1);
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
double Extraction::dayOf(std::string_view date)
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
int32_t Extraction::plainNumber(std::string_view text)
{
    // A size as the mailer writes it is read in one pass; anything else takes the general way and its rules.
    if (uint64_t quick = 0; readDigitsAndCommas(text, 9, quick))
        return static_cast<int32_t>(quick);
    number_.clear();
    for (const char c : text) {
        if (c != ',')
            number_ += c;
    }
    return toInt32(number_);
}

} // namespace velmar
