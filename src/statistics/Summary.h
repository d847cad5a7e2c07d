#pragma once

#include "statistics/HashIndex.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class Table;

/// Builds the summary table from the detailed one: a row per remote address (letter case ignored, the
/// first spelling kept, in order of first appearance) with its minutes, bytes, money and sessions, then
/// an empty row and the total row captioned `totalCaption`. Row 0 of `StrFull` is not touched.
/// Sums are 64-bit and stop at the end of the range. Raises the integer conversion error for a detailed cell
/// that does not read back; the summary then holds the address rows summed before that cell's row, without
/// money, empty row or total. Money beyond a double raises "Floating point overflow" after every address
/// row is written in the same way.
void FillFull(const Table& Str, Table& StrFull, std::string_view totalCaption, double tarifPerMin);

class SummaryTally;

/// FillFull for a detailed table that grows: `tally` holds the detailed rows 1 to tallied - 1 already (a
/// new tally and `tallied` 1 for a table not seen before); the rows behind them are added, `tallied` moves
/// to the end and the summary is written from the tally. After an error the tally is unusable: start anew.
void FillFull(const Table& Str, Table& StrFull, std::string_view totalCaption, double tarifPerMin, SummaryTally& tally,
    int& tallied);

/// The sums of the summary, taken in a few detailed rows at a time: FillFull is one tally of every row,
/// and a window that reads what the mailer appends adds the new rows to the tally it has.
class SummaryTally {
public:
    /// Adds the detailed rows first to end - 1. Raises the integer conversion error of a cell that does
    /// not read back; the tally then holds the address rows complete before that row (see writePartial).
    /// Many rows are tallied in two halves at once, on two threads, and the halves joined: the result,
    /// and any error, are those of the rows taken in one by one.
    void add(const Table& Str, int first, int end);
    /// Writes the summary of every row taken in, as FillFull describes it. Raises the conversion error of a
    /// first session's minutes that do not read back, or "Floating point overflow" for money beyond a
    /// double, after writing the rows without money.
    void write(Table& StrFull, std::string_view totalCaption, double tarifPerMin);
    /// After a failed add: the address rows complete before the failing row, without money, empty row or
    /// total.
    void writePartial(Table& StrFull) const;
    /// The address rows, not counting the empty and the total row.
    int addressRows() const { return static_cast<int>(rows_.size()); }

    /// The fewest rows add splits into two halves (the tests lower it); returns the number before.
    static int setSplitRows(int rows);

private:
    struct AddressRow {
        std::string address; // as its first detailed row spells it
        std::string folded; // its key in index_
        // The minutes text of the first session. It is read as a number only once a second session needs
        // the sum, or for the money, so that a bad text is reported at the same point as it always was; a
        // row of one session shows it unchanged.
        std::string firstMinutes;
        bool minutesRead = false;
        int64_t minutes = 0;
        int64_t bytes = 0;
        int64_t sessions = 0;

        void readMinutes();
    };

    void addRows(const Table& Str, int first, int end);
    bool join(SummaryTally& later);
    void writeRows(Table& StrFull, size_t count, bool withMoney, double tarifPerMin) const;

    std::vector<AddressRow> rows_;
    static constexpr size_t kNoRow = HashIndex::kNone;
    size_t findRow(std::string_view folded, uint64_t hash) const;
    void addToIndex(uint64_t hash, size_t row);
    HashIndex index_; // the rows by folded address
    // By the address as its first detailed row spells it: a detailed row that spells it so, as nearly all
    // do, finds its row without folding the letters.
    HashIndex spelled_;
    size_t complete_ = 0; // rows complete before a failed add
    // A sum or a number summed came near where a sum stops at the end of the range: tallies in halves
    // might then stop elsewhere than one tally of every row, so they are not joined.
    bool large_ = false;
    std::string folded_;
};

} // namespace velmar
