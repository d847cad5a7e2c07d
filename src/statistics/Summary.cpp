#include "statistics/Summary.h"

#include "platform/CodePage.h"
#include "platform/Converters.h"
#include "platform/Errors.h"
#include "platform/Saturating.h"
#include "statistics/Charging.h"
#include "statistics/SizeText.h"
#include "statistics/Table.h"

#include <array>
#include <string>
#include <unordered_map>
#include <vector>

namespace velmar {

namespace {

struct AddressRow {
    std::string_view address; // as its first detailed row spells it
    // The minutes text of the first session. It is read as a number only once a second session needs the
    // sum, or for the money, so that a bad text is reported at the same point as it always was; a row of
    // one session shows it unchanged.
    std::string_view firstMinutes;
    bool minutesRead = false;
    int64_t minutes = 0;
    int64_t bytes = 0;
    int64_t sessions = 0;

    void readMinutes()
    {
        if (!minutesRead) {
            minutes = toInt64(firstMinutes);
            minutesRead = true;
        }
    }
};

// Column 1 of a row of one session is the detailed text itself; a sum is written as a plain integer.
void writeAddressRow(Table& StrFull, int r, const AddressRow& row, std::string_view money)
{
    StrFull.setCell(0, r, row.address);
    if (row.sessions == 1)
        StrFull.setCell(1, r, row.firstMinutes);
    else
        StrFull.setCell(1, r, formatInt(row.minutes));
    StrFull.setCell(2, r, SizeToStr(row.bytes));
    StrFull.setCell(3, r, money);
    StrFull.setCell(4, r, formatInt(row.sessions));
}

// The rows as far as they were summed when a detailed cell failed to convert: addresses, minutes, bytes
// and sessions, but no money and neither the empty nor the total row, since no total can be made.
void writePartial(Table& StrFull, const std::vector<AddressRow>& rows, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        writeAddressRow(StrFull, static_cast<int>(i) + 1, rows[i], {});
    StrFull.setRowCount(static_cast<int>(count) + 1);
}

} // namespace

void FillFull(const Table& Str, Table& StrFull, std::string_view totalCaption, double tarifPerMin)
{
    StrFull.setRowCount(2);
    StrFull.clearRow(1);
    if (Str.cell(0, 1).empty())
        return;

    // The views into Str stay valid: Str is not changed while the summary is built.
    std::vector<AddressRow> rows;
    std::unordered_map<std::string, size_t> index; // folded address -> its row
    std::string folded;

    const int detailedRows = Str.rowCount();
    std::array<std::string_view, 6> cells {};
    for (int r = 1; r < detailedRows; ++r) {
        Str.rowCells(r, cells);
        const std::string_view address = cells[3];
        foldCaseInto(address, folded);

        const size_t summed = rows.size(); // rows complete before this detailed row
        try {
            const auto found = index.find(folded);
            if (found == index.end()) {
                AddressRow row;
                row.address = address;
                row.firstMinutes = cells[4];
                row.bytes = StrToSize(cells[5]);
                row.sessions = 1;
                rows.push_back(row);
                index.emplace(folded, rows.size() - 1);
            } else {
                AddressRow& row = rows[found->second];
                row.readMinutes();
                const int64_t minutes = toInt64(cells[4]);
                const int64_t bytes = StrToSize(cells[5]);
                row.minutes = addSaturating(row.minutes, minutes);
                row.bytes = addSaturating(row.bytes, bytes);
                row.sessions = addSaturating(row.sessions, 1);
            }
        } catch (const ConvertError&) {
            // A row that failed in the middle of its update keeps what it had before this session.
            writePartial(StrFull, rows, summed);
            throw;
        }
    }

    // The money of every row and of the total is the tariff times the summed minutes.
    int64_t totalMinutes = 0;
    int64_t totalBytes = 0;
    int64_t totalSessions = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        try {
            rows[i].readMinutes();
        } catch (const ConvertError&) {
            writePartial(StrFull, rows, rows.size());
            throw;
        }
        totalMinutes = addSaturating(totalMinutes, rows[i].minutes);
        totalBytes = addSaturating(totalBytes, rows[i].bytes);
        totalSessions = addSaturating(totalSessions, rows[i].sessions);
    }

    for (size_t i = 0; i < rows.size(); ++i) {
        const AddressRow& row = rows[i];
        writeAddressRow(StrFull, static_cast<int>(i) + 1, row,
            moneyText(TimetoMoney(static_cast<double>(row.minutes), tarifPerMin)));
    }

    const int n = static_cast<int>(rows.size());
    StrFull.setRowCount(n + 3);
    StrFull.clearRow(n + 1);
    const int total = n + 2;
    StrFull.setCell(0, total, totalCaption);
    StrFull.setCell(1, total, formatInt(totalMinutes));
    StrFull.setCell(2, total, SizeToStr(totalBytes));
    StrFull.setCell(3, total, moneyText(TimetoMoney(static_cast<double>(totalMinutes), tarifPerMin)));
    StrFull.setCell(4, total, formatInt(totalSessions));
}

} // namespace velmar
