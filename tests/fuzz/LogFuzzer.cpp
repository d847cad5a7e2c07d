// Log bytes through the whole road of a session: extraction, summary and export, each checked against
// what the log says and against one another.
#include "FuzzSupport.h"
#include "export/TemplateExport.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/Converters.h"
#include "platform/Errors.h"
#include "platform/Locale.h"
#include "platform/TextFile.h"
#include "statistics/Charging.h"
#include "statistics/DayList.h"
#include "statistics/LogDate.h"
#include "statistics/LogText.h"
#include "statistics/SessionExtraction.h"
#include "statistics/SizeText.h"
#include "statistics/Summary.h"
#include "statistics/Table.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

using namespace velmar;

namespace {

// A session as the log describes it, worked out line by line in the plainest way.
struct Session {
    std::string date, start, end, address;
    int64_t received = 0;
    double sessionStart = 0, sessionEnd = 0;
};

bool has(std::string_view text, std::string_view marker)
{
    return text.find(marker) != std::string_view::npos;
}

std::string_view dropFirst(std::string_view text, size_t count)
{
    return text.substr(std::min(count, text.size()));
}

std::string_view cutAt(std::string_view text, std::string_view marker, size_t k)
{
    const size_t at = text.find(marker);
    return dropFirst(text, (at == std::string_view::npos ? 0 : at + 1) + k);
}

std::string_view word(std::string_view text)
{
    const size_t space = text.find(' ');
    return space == std::string_view::npos ? std::string_view {} : text.substr(0, space);
}

std::string_view partBefore(std::string_view text, std::string_view marker)
{
    const size_t at = text.find(marker);
    return at == std::string_view::npos ? std::string_view {} : text.substr(0, at);
}

int32_t plainNumber(std::string_view text)
{
    std::string digits;
    for (char c : text) {
        if (c != ',')
            digits += c;
    }
    return toInt32(digits);
}

int64_t saturated(int64_t a, int64_t b, bool subtract)
{
    int64_t result = 0;
    const bool overflow = subtract ? __builtin_sub_overflow(a, b, &result) : __builtin_add_overflow(a, b, &result);
    if (!overflow)
        return result;
    return (subtract ? b < 0 : b > 0) ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}

// The log read the documented way: a line ends at LF, every CR is dropped, a Ctrl+Z at the start of a
// line ends the text, and a UTF-8 byte order mark in front of it all is no text.
class ReferenceLog {
public:
    ReferenceLog(std::string_view bytes, const Charge& charge)
        : charge_(charge)
    {
        size_t pos = bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
        while (pos < bytes.size() && bytes[pos] != '\x1a') {
            const size_t lineFeed = bytes.find('\n', pos);
            const size_t end = lineFeed == std::string_view::npos ? bytes.size() : lineFeed;
            std::string line;
            for (size_t i = pos; i < end; ++i) {
                if (bytes[i] != '\r')
                    line += bytes[i];
            }
            lines_.push_back(std::move(line));
            pos = end == bytes.size() ? end : end + 1;
        }
    }

    std::vector<Session> sessions()
    {
        std::vector<Session> counted;
        do {
            const std::string line = read();
            if (has(line, "CONNECT"))
                session(line, counted);
        } while (!eof());
        return counted;
    }

private:
    std::string read() { return next_ < lines_.size() ? lines_[next_++] : std::string(); }
    bool eof() const { return next_ >= lines_.size(); }

    void session(std::string_view text, std::vector<Session>& counted)
    {
        Session s;
        int64_t earlier = 0;
        text = dropFirst(text, 2);
        s.date = word(text);
        s.sessionStart = VelmarToDate(s.date);
        text = cutAt(text, " ", 0);
        s.start = word(text);
        s.sessionStart += toTimeOfDay(s.start);

        std::string line;
        std::string_view t;
        for (;;) {
            line = read();
            t = line;
            if (has(t, "Address :")) {
                t = cutAt(t, "Address", 9);
                s.address = (word(t).empty() ? t : word(t)).substr(0, 255);
            }
            if (has(t, "Receiving '") && !has(t, "from offset")) {
                t = cutAt(t, "' (", 2);
                if (has(t, "' ("))
                    t = cutAt(t, "' (", 2);
                std::string_view size = partBefore(t, "b)");
                if (size.empty())
                    size = "0";
                earlier = s.received;
                s.received = saturated(s.received, plainNumber(size), false);
            }
            if (has(t, "from offset")) {
                t = cutAt(t, "offset", 6);
                s.received = saturated(s.received, plainNumber(t), true);
            }
            if (has(t, "Part of")) {
                t = cutAt(t, " (", 1);
                s.received = saturated(earlier, plainNumber(partBefore(t, "b)")), false);
            }
            if (has(t, "Receiving file was rejected"))
                s.received = earlier;
            if (has(t, "Initializing modem") || has(t, "Session completed successfully") || has(t, "Session aborted")
                || eof() || has(t, "Aborting due to carrier loss"))
                break;
        }
        if (!has(t, "Session completed successfully") && !has(t, "Aborting due to carrier loss"))
            return;
        t = dropFirst(t, 2);
        s.sessionEnd = VelmarToDate(word(t));
        t = cutAt(t, " ", 0);
        s.end = word(t);
        s.sessionEnd += toTimeOfDay(s.end);
        // Money beyond a double fails the session before it is counted.
        moneyText(TimetoMoney(
            static_cast<double>(sessionMinutes(s.sessionStart, s.sessionEnd, charge_.offsetSec)), charge_.tarifPerMin));
        counted.push_back(std::move(s));
    }

    const Charge charge_;
    std::vector<std::string> lines_;
    size_t next_ = 0;
};

// The charges and block sizes the inputs are run under, picked by the input's length.
constexpr std::array<Charge, 4> kCharges = { {
    { 0, 4.79 },
    { 30, 0.0 },
    { std::numeric_limits<int32_t>::max(), 1e300 },
    { std::numeric_limits<int32_t>::min(), -2.5 },
} };
constexpr std::array<size_t, 4> kBlockSizes = { 7, 64, 4096, LogText::kBlockSize };

constexpr std::string_view kTotal = "Total";

int64_t sum(int64_t a, int64_t b)
{
    return saturated(a, b, false);
}

std::vector<std::string> linesOfExport(const std::string& text)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find("\r\n", pos);
        FUZZ_CHECK(end != std::string::npos); // every line ends with CR LF
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

// One block of an export: a line per row, all of one length, then the empty line.
void checkBlock(const std::vector<std::string>& lines, const Table& table)
{
    FUZZ_CHECK_EQ(lines.size(), static_cast<size_t>(table.rowCount()) + 1);
    FUZZ_CHECK(lines.back().empty());
    for (size_t i = 1; i + 1 < lines.size(); ++i)
        FUZZ_CHECK_EQ(lines[i].size(), lines[0].size());
}

// Whether the money of these minutes lies beyond a double.
bool moneyOverflows(int64_t minutes, const Charge& charge)
{
    return !std::isfinite(TimetoMoney(static_cast<double>(minutes), charge.tarifPerMin));
}

// `failed`: FillFull raised "Floating point overflow".
void checkSummary(
    const Table& Str, const Table& StrFull, const std::vector<Session>& sessions, const Charge& charge, bool failed)
{
    if (sessions.empty()) {
        FUZZ_CHECK_EQ(StrFull.rowCount(), 2);
        for (int c = 0; c < 5; ++c)
            FUZZ_CHECK(StrFull.cell(c, 1).empty());
        return;
    }
    // The addresses in order of first appearance, letter case ignored.
    std::vector<std::string> addresses;
    for (const Session& s : sessions) {
        bool seen = false;
        for (const std::string& a : addresses)
            seen = seen || sameTextIgnoringCase(a, s.address);
        if (!seen)
            addresses.push_back(s.address);
    }
    const int n = static_cast<int>(addresses.size());
    int64_t allMinutes = 0;
    for (int r = 1; r < Str.rowCount(); ++r)
        allMinutes = sum(allMinutes, toInt64(Str.cell(4, r)));
    // Money beyond a double leaves the address rows without money, and no empty or total row.
    bool overflow = moneyOverflows(allMinutes, charge);
    FUZZ_CHECK_EQ(StrFull.rowCount(), failed ? n + 1 : n + 3);
    if (!failed) {
        for (int c = 0; c < 5; ++c)
            FUZZ_CHECK(StrFull.cell(c, n + 1).empty());
    }

    // Each address row sums the detailed rows of its address, read back from their texts.
    int64_t rowMinutes = 0, rowBytes = 0, rowSessions = 0;
    for (int i = 1; i <= n; ++i) {
        FUZZ_CHECK_EQ(StrFull.cell(0, i), addresses[static_cast<size_t>(i - 1)]);
        int64_t minutes = 0, bytes = 0, count = 0;
        for (int r = 1; r < Str.rowCount(); ++r) {
            if (!sameTextIgnoringCase(Str.cell(3, r), addresses[static_cast<size_t>(i - 1)]))
                continue;
            minutes = sum(minutes, toInt64(Str.cell(4, r)));
            bytes = sum(bytes, StrToSize(Str.cell(5, r)));
            ++count;
        }
        FUZZ_CHECK_EQ(toInt64(StrFull.cell(1, i)), minutes);
        FUZZ_CHECK_EQ(StrToSize(StrFull.cell(2, i)), bytes);
        FUZZ_CHECK_EQ(SizeToStr(StrToSize(StrFull.cell(2, i))), StrFull.cell(2, i));
        overflow = overflow || moneyOverflows(minutes, charge);
        if (failed)
            FUZZ_CHECK(StrFull.cell(3, i).empty());
        else
            FUZZ_CHECK_EQ(StrFull.cell(3, i), moneyText(TimetoMoney(static_cast<double>(minutes), charge.tarifPerMin)));
        FUZZ_CHECK_EQ(toInt64(StrFull.cell(4, i)), count);
        rowMinutes = sum(rowMinutes, minutes);
        rowBytes = sum(rowBytes, bytes);
        rowSessions += count;
    }

    FUZZ_CHECK_EQ(failed, overflow);
    if (failed)
        return;

    // The total row: the sums over all detailed rows, and so over the address rows too.
    int64_t minutes = 0, bytes = 0;
    for (int r = 1; r < Str.rowCount(); ++r) {
        minutes = sum(minutes, toInt64(Str.cell(4, r)));
        bytes = sum(bytes, StrToSize(Str.cell(5, r)));
    }
    const int total = n + 2;
    FUZZ_CHECK_EQ(StrFull.cell(0, total), kTotal);
    FUZZ_CHECK_EQ(toInt64(StrFull.cell(1, total)), minutes);
    FUZZ_CHECK_EQ(StrToSize(StrFull.cell(2, total)), bytes);
    FUZZ_CHECK_EQ(SizeToStr(StrToSize(StrFull.cell(2, total))), StrFull.cell(2, total));
    FUZZ_CHECK_EQ(StrFull.cell(3, total), moneyText(TimetoMoney(static_cast<double>(minutes), charge.tarifPerMin)));
    FUZZ_CHECK_EQ(toInt64(StrFull.cell(4, total)), static_cast<int64_t>(Str.rowCount() - 1));
    FUZZ_CHECK_EQ(rowMinutes, minutes);
    FUZZ_CHECK_EQ(rowBytes, bytes);
    FUZZ_CHECK_EQ(rowSessions, static_cast<int64_t>(Str.rowCount() - 1));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The results must not depend on the machine: a fixed year for two-digit years, a comma locale.
    static const ScopedYear year(2026);
    static const ScopedLocale locale({ ',', ':' });
    CodePage::setCurrent(CodePage::windows1251());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static fuzz::MemoryFile file("log");
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    file.set(bytes);
    const Charge charge = kCharges[(size / kBlockSizes.size()) % kCharges.size()];

    std::optional<std::vector<Session>> expected;
    std::string expectedError;
    try {
        expected = ReferenceLog(bytes, charge).sessions();
    } catch (const ConvertError& error) {
        expectedError = error.what();
    }

    LogText log(kBlockSizes[size % kBlockSizes.size()]);
    // The read in one part, in two and in three: each must give what the log says.
    ReadPlan plan;
    if (size % 3 == 1)
        plan.starts = { size / 2 };
    else if (size % 3 == 2)
        plan.starts = { size / 4, size * 2 / 3 };
    else
        plan.parts = 1;
    log.setReadPlan(plan);
    log.bind(file.path());
    Table Str(7);
    Str.setCell(0, 0, "Date"); // a header row as a language file gives it
    DayList dat1;
    std::vector<std::string> dat2 { "stale" };
    SessionTimes times;
    try {
        FillTabl(log, "", "", charge, Str, dat1, dat2, times);
    } catch (const ConvertError& error) {
        // A text of the log that does not convert is a result, not a fault: the same text must be named.
        if (expected)
            std::fprintf(stderr, "extraction failed with %s\n", fuzz::show(error.what()).c_str());
        FUZZ_CHECK(!expected);
        FUZZ_CHECK_EQ(std::string(error.what()), expectedError);
        FUZZ_CHECK(!log.isOpen());
        FUZZ_CHECK_EQ(dat2.size(), size_t { 1 }); // not copied afresh
        return 0;
    }
    if (!expected)
        std::fprintf(stderr, "extraction passed where the log says %s\n", fuzz::show(expectedError).c_str());
    FUZZ_CHECK(expected.has_value());
    FUZZ_CHECK(!log.isOpen());
    const std::vector<Session>& sessions = *expected;

    // One row per counted session, as the log describes it; with none, the one empty row.
    FUZZ_CHECK_EQ(Str.rowCount(), std::max(static_cast<int>(sessions.size()) + 1, 2));
    if (sessions.empty()) {
        for (int c = 0; c < 7; ++c)
            FUZZ_CHECK(Str.cell(c, 1).empty());
    }
    std::vector<std::string> days;
    for (size_t i = 0; i < sessions.size(); ++i) {
        const Session& s = sessions[i];
        const int r = static_cast<int>(i) + 1;
        FUZZ_CHECK_EQ(Str.cell(0, r), s.date);
        FUZZ_CHECK_EQ(Str.cell(1, r), s.start);
        FUZZ_CHECK_EQ(Str.cell(2, r), s.end);
        FUZZ_CHECK_EQ(Str.cell(3, r), s.address);
        FUZZ_CHECK_EQ(Str.cell(5, r), SizeToStr(s.received));
        FUZZ_CHECK_EQ(StrToSize(Str.cell(5, r)), s.received);
        const int64_t minutes = sessionMinutes(s.sessionStart, s.sessionEnd, charge.offsetSec);
        FUZZ_CHECK(minutes >= 1);
        FUZZ_CHECK_EQ(Str.cell(4, r), formatInt(minutes));
        FUZZ_CHECK_EQ(Str.cell(6, r), moneyText(TimetoMoney(static_cast<double>(minutes), charge.tarifPerMin)));
        bool listed = false;
        for (const std::string& d : days)
            listed = listed || sameTextIgnoringCase(d, s.date);
        if (!listed)
            days.push_back(s.date);
    }
    FUZZ_CHECK(dat1.items() == days);
    FUZZ_CHECK(dat2 == days);

    Table StrFull(5);
    StrFull.setCell(0, 0, "Address");
    bool summaryFailed = false;
    try {
        FillFull(Str, StrFull, kTotal, charge.tarifPerMin);
    } catch (const ConvertError& error) {
        FUZZ_CHECK_EQ(std::string(error.what()), std::string("Floating point overflow"));
        summaryFailed = true;
    }
    checkSummary(Str, StrFull, sessions, charge, summaryFailed);
    if (summaryFailed)
        return 0; // the error ends the action: nothing is exported

    // Both tables through the default templates: one line per row and the closing empty line.
    StringOutText out;
    int badTags = 0;
    const ExportHeading noRange {};
    FUZZ_CHECK(ExpStat(out, 0, Str, "%1 %2 %3 %4 %5 %6 %7", noRange, [&] { ++badTags; }));
    const size_t detailedSize = out.text().size();
    FUZZ_CHECK(ExpStat(out, 3, StrFull, "%4 %5 %6 %7 %8", noRange, [&] { ++badTags; }));
    FUZZ_CHECK_EQ(badTags, 0);
    const std::vector<std::string> detailed = linesOfExport(out.text().substr(0, detailedSize));
    const std::vector<std::string> summary = linesOfExport(out.text().substr(detailedSize));
    checkBlock(detailed, Str);
    checkBlock(summary, StrFull);
    return 0;
}
