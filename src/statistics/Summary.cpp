#include "statistics/Summary.h"

#include "platform/CodePage.h"
#include "platform/Converters.h"
#include "platform/Errors.h"
#include "platform/Saturating.h"
#include "statistics/Charging.h"
#include "statistics/SessionExtraction.h"
#include "statistics/SizeText.h"
#include "statistics/Table.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace velmar {

void SummaryTally::AddressRow::readMinutes()
{
    if (!minutesRead) {
        minutes = toInt64(firstMinutes);
        minutesRead = true;
    }
}

namespace {

// Below this many rows a second thread costs more than it saves: it starts with memory of its own that is
// fresh, and every address of its half is joined one by one afterwards (52,000 rows of 4,500 addresses took
// 8 ms in halves, 6.7 ms in one).
std::atomic<int> splitRows { 100000 };

// Sums of numbers under this size never reach the end of the 64-bit range, in whatever order they are added.
constexpr int64_t kLarge = int64_t { 1 } << 61;

bool isLarge(int64_t value)
{
    return value >= kLarge || value <= -kLarge;
}

} // namespace

size_t SummaryTally::findRow(std::string_view folded, uint64_t hash) const
{
    return index_.find(hash, [&](size_t row) { return rows_[row].folded == folded; });
}

// A new row: by its folded address, and by its spelling.
void SummaryTally::addToIndex(uint64_t hash, size_t row)
{
    index_.add(hash, row, rows_.size() + 1);
    spelled_.add(hashOfText(rows_[row].address), row, rows_.size() + 1);
}

int SummaryTally::setSplitRows(int rows)
{
    return splitRows.exchange(rows);
}

void SummaryTally::add(const Table& Str, int first, int end)
{
    if (end - first < splitRows.load(std::memory_order_relaxed)) {
        addRows(Str, first, end);
        return;
    }
    // The later half is tallied on its own on a second thread, then joined to this tally. When that half
    // fails or cannot be joined exactly, its rows are taken in here one by one, which raises the error at its
    // row as one tally of every row does.
    const int middle = first + (end - first) / 2;
    SummaryTally later;
    bool laterDone = false;
    std::thread helper;
    try {
        helper = std::thread([&] {
            try {
                later.addRows(Str, middle, end);
                laterDone = true;
            } catch (...) {
            }
        });
    } catch (const std::system_error&) {
        addRows(Str, first, end);
        return;
    }
    try {
        addRows(Str, first, middle);
    } catch (...) {
        helper.join();
        throw;
    }
    helper.join();
    if (!laterDone || !join(later))
        addRows(Str, middle, end);
}

void SummaryTally::addRows(const Table& Str, int first, int end)
{
    std::array<std::string_view, 6> cells {};
    for (int r = first; r < end; ++r) {
        Str.rowCells(r, cells);
        const std::string_view address = cells[3];
        complete_ = rows_.size(); // rows complete before this detailed row
        size_t found = spelled_.find(hashOfText(address), [&](size_t row) { return rows_[row].address == address; });
        uint64_t hash = 0;
        if (found == kNoRow) {
            foldCaseInto(address, folded_);
            hash = hashOfText(folded_);
            found = findRow(folded_, hash);
        }
        if (found == kNoRow) {
            AddressRow row;
            row.bytes = StrToSize(cells[5]);
            row.address.assign(address);
            row.folded = folded_;
            row.firstMinutes.assign(cells[4]);
            row.sessions = 1;
            large_ = large_ || isLarge(row.bytes);
            rows_.push_back(std::move(row));
            addToIndex(hash, rows_.size() - 1);
        } else {
            // A row that fails in the middle of its update keeps what it had before this session.
            AddressRow& row = rows_[found];
            row.readMinutes();
            const int64_t minutes = toInt64(cells[4]);
            const int64_t bytes = StrToSize(cells[5]);
            row.minutes = addSaturating(row.minutes, minutes);
            row.bytes = addSaturating(row.bytes, bytes);
            row.sessions = addSaturating(row.sessions, 1);
            large_ = large_ || isLarge(row.minutes) || isLarge(minutes) || isLarge(row.bytes) || isLarge(bytes);
        }
    }
    complete_ = rows_.size();
}

// Takes in a tally of the detailed rows that follow those of this one, as if they had been added here one
// by one. False, with this tally unchanged in what it shows, when that cannot be done exactly: a first
// minutes text that does not read back (added one by one, it raises its error at its row), or large sums.
bool SummaryTally::join(SummaryTally& later)
{
    if (large_ || later.large_)
        return false;
    // An address of both halves: its first minutes in each are read as its second session in the later half
    // reads them. Reading a first minutes text early changes nothing that is shown.
    constexpr size_t kNew = ~size_t { 0 };
    std::vector<size_t> rowOf(later.rows_.size(), kNew);
    try {
        for (size_t i = 0; i < later.rows_.size(); ++i) {
            AddressRow& row = later.rows_[i];
            const size_t found = findRow(row.folded, hashOfText(row.folded));
            if (found == kNoRow)
                continue;
            AddressRow& earlier = rows_[found];
            earlier.readMinutes();
            row.readMinutes();
            if (isLarge(earlier.minutes) || isLarge(row.minutes))
                return false;
            rowOf[i] = found;
        }
    } catch (const ConvertError&) {
        return false;
    }
    for (size_t i = 0; i < later.rows_.size(); ++i) {
        AddressRow& row = later.rows_[i];
        if (rowOf[i] == kNew) {
            const uint64_t hash = hashOfText(row.folded);
            rows_.push_back(std::move(row));
            addToIndex(hash, rows_.size() - 1);
            continue;
        }
        AddressRow& earlier = rows_[rowOf[i]];
        earlier.minutes = addSaturating(earlier.minutes, row.minutes);
        earlier.bytes = addSaturating(earlier.bytes, row.bytes);
        earlier.sessions = addSaturating(earlier.sessions, row.sessions);
    }
    complete_ = rows_.size();
    return true;
}

// Column 1 of a row of one session is the detailed text itself; a sum is written as a plain integer.
void SummaryTally::writeRows(Table& StrFull, size_t count, bool withMoney, double tarifPerMin) const
{
    for (size_t i = 0; i < count; ++i) {
        const AddressRow& row = rows_[i];
        const int r = static_cast<int>(i) + 1;
        const std::string minutes = row.sessions == 1 ? row.firstMinutes : formatInt(row.minutes);
        const std::string bytes = SizeToStr(row.bytes);
        // The money of every row and of the total is the tariff times the summed minutes.
        const std::string money
            = withMoney ? moneyText(TimetoMoney(static_cast<double>(row.minutes), tarifPerMin)) : std::string();
        const std::string sessions = formatInt(row.sessions);
        const std::array<std::string_view, 5> cells = { row.address, minutes, bytes, money, sessions };
        StrFull.setRow(r, cells);
    }
}

// The rows as far as they were summed when a detailed cell failed to convert: addresses, minutes, bytes
// and sessions, but no money and neither the empty nor the total row, since no total can be made.
void SummaryTally::writePartial(Table& StrFull) const
{
    StrFull.setRowCount(2);
    StrFull.clearRow(1);
    writeRows(StrFull, complete_, false, 0);
    StrFull.setRowCount(static_cast<int>(complete_) + 1);
}

void SummaryTally::write(Table& StrFull, std::string_view totalCaption, double tarifPerMin)
{
    StrFull.setRowCount(2);
    StrFull.clearRow(1);
    if (rows_.empty())
        return;

    int64_t totalMinutes = 0;
    int64_t totalBytes = 0;
    int64_t totalSessions = 0;
    for (AddressRow& row : rows_) {
        try {
            row.readMinutes();
        } catch (const ConvertError&) {
            complete_ = rows_.size();
            writePartial(StrFull);
            throw;
        }
        totalMinutes = addSaturating(totalMinutes, row.minutes);
        totalBytes = addSaturating(totalBytes, row.bytes);
        totalSessions = addSaturating(totalSessions, row.sessions);
    }
    // Money beyond a double (a tariff of 1e300, say) fails the summary as a cell that does not convert
    // does: the address rows are shown with their sums but without money, and no total.
    std::string totalMoney;
    try {
        writeRows(StrFull, rows_.size(), true, tarifPerMin);
        totalMoney = moneyText(TimetoMoney(static_cast<double>(totalMinutes), tarifPerMin));
    } catch (const ConvertError&) {
        complete_ = rows_.size();
        writePartial(StrFull);
        throw;
    }

    const int n = static_cast<int>(rows_.size());
    StrFull.setRowCount(n + 3);
    StrFull.clearRow(n + 1);
    const int total = n + 2;
    StrFull.setCell(0, total, totalCaption);
    StrFull.setCell(1, total, formatInt(totalMinutes));
    StrFull.setCell(2, total, SizeToStr(totalBytes));
    StrFull.setCell(3, total, totalMoney);
    StrFull.setCell(4, total, formatInt(totalSessions));
}

void FillFull(const Table& Str, Table& StrFull, std::string_view totalCaption, double tarifPerMin)
{
    SummaryTally tally;
    int tallied = 1;
    FillFull(Str, StrFull, totalCaption, tarifPerMin, tally, tallied);
}

void FillFull(const Table& Str, Table& StrFull, std::string_view totalCaption, double tarifPerMin, SummaryTally& tally,
    int& tallied)
{
    const int end = sessionRowsEnd(Str);
    if (end > tallied) {
        try {
            tally.add(Str, tallied, end);
        } catch (const ConvertError&) {
            tally.writePartial(StrFull);
            throw;
        }
        tallied = end;
    }
    tally.write(StrFull, totalCaption, tarifPerMin);
}

} // namespace velmar
