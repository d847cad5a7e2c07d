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
#include <cstring>
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

// Below this many rows a second thread costs more than it saves.
std::atomic<int> splitRows { 20000 };

// Sums of numbers under this size never reach the end of the 64-bit range, in whatever order they are added.
constexpr int64_t kLarge = int64_t { 1 } << 61;

bool isLarge(int64_t value)
{
    return value >= kLarge || value <= -kLarge;
}

// A hash of an address, folded or as spelled, eight bytes at a time.
uint64_t hashOf(std::string_view text)
{
    constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15u;
    uint64_t hash = text.size() * kMultiplier;
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        uint64_t word = 0;
        std::memcpy(&word, text.data() + i, 8);
        hash = (hash ^ word) * kMultiplier;
        hash ^= hash >> 29;
    }
    if (i < text.size()) {
        uint64_t word = 0;
        std::memcpy(&word, text.data() + i, text.size() - i);
        hash = (hash ^ word) * kMultiplier;
        hash ^= hash >> 29;
    }
    return hash * kMultiplier;
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
    spelled_.add(hashOf(rows_[row].address), row, rows_.size() + 1);
}

void SummaryTally::RowIndex::add(uint64_t hash, size_t row, size_t rows)
{
    // At most half full, so that a look-up meets an empty entry soon.
    if (2 * rows > entries_.size()) {
        std::vector<Entry> old(std::max<size_t>(64, entries_.size() * 2));
        old.swap(entries_);
        const size_t mask = entries_.size() - 1;
        for (const Entry& entry : old) {
            if (entry.row == kNoRow)
                continue;
            size_t at = entry.hash & mask;
            while (entries_[at].row != kNoRow)
                at = (at + 1) & mask;
            entries_[at] = entry;
        }
    }
    const size_t mask = entries_.size() - 1;
    size_t at = hash & mask;
    while (entries_[at].row != kNoRow)
        at = (at + 1) & mask;
    entries_[at] = { hash, row };
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
        size_t found = spelled_.find(hashOf(address), [&](size_t row) { return rows_[row].address == address; });
        uint64_t hash = 0;
        if (found == kNoRow) {
            foldCaseInto(address, folded_);
            hash = hashOf(folded_);
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
            const size_t found = findRow(row.folded, hashOf(row.folded));
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
            const uint64_t hash = hashOf(row.folded);
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
        StrFull.setCell(0, r, row.address);
        if (row.sessions == 1)
            StrFull.setCell(1, r, row.firstMinutes);
        else
            StrFull.setCell(1, r, formatInt(row.minutes));
        StrFull.setCell(2, r, SizeToStr(row.bytes));
        // The money of every row and of the total is the tariff times the summed minutes.
        StrFull.setCell(3, r, withMoney ? moneyText(TimetoMoney(static_cast<double>(row.minutes), tarifPerMin)) : "");
        StrFull.setCell(4, r, formatInt(row.sessions));
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
    writeRows(StrFull, rows_.size(), true, tarifPerMin);

    const int n = static_cast<int>(rows_.size());
    StrFull.setRowCount(n + 3);
    StrFull.clearRow(n + 1);
    const int total = n + 2;
    StrFull.setCell(0, total, totalCaption);
    StrFull.setCell(1, total, formatInt(totalMinutes));
    StrFull.setCell(2, total, SizeToStr(totalBytes));
    StrFull.setCell(3, total, moneyText(TimetoMoney(static_cast<double>(totalMinutes), tarifPerMin)));
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
