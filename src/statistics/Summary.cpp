#include "statistics/Summary.h"

#include "platform/CodePage.h"
#include "platform/Converters.h"
#include "platform/Errors.h"
#include "platform/Saturating.h"
#include "statistics/Charging.h"
#include "statistics/SessionExtraction.h"
#include "statistics/SizeText.h"
#include "statistics/Table.h"

#include <array>
#include <string>
#include <unordered_map>
#include <vector>

namespace velmar {

void SummaryTally::AddressRow::readMinutes()
{
    if (!minutesRead) {
        minutes = toInt64(firstMinutes);
        minutesRead = true;
    }
}

void SummaryTally::add(const Table& Str, int first, int end)
{
    std::array<std::string_view, 6> cells {};
    for (int r = first; r < end; ++r) {
        Str.rowCells(r, cells);
        const std::string_view address = cells[3];
        foldCaseInto(address, folded_);

        complete_ = rows_.size(); // rows complete before this detailed row
        const auto found = index_.find(folded_);
        if (found == index_.end()) {
            AddressRow row;
            row.bytes = StrToSize(cells[5]);
            row.address.assign(address);
            row.firstMinutes.assign(cells[4]);
            row.sessions = 1;
            rows_.push_back(std::move(row));
            index_.emplace(folded_, rows_.size() - 1);
        } else {
            // A row that fails in the middle of its update keeps what it had before this session.
            AddressRow& row = rows_[found->second];
            row.readMinutes();
            const int64_t minutes = toInt64(cells[4]);
            const int64_t bytes = StrToSize(cells[5]);
            row.minutes = addSaturating(row.minutes, minutes);
            row.bytes = addSaturating(row.bytes, bytes);
            row.sessions = addSaturating(row.sessions, 1);
        }
    }
    complete_ = rows_.size();
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
