#pragma once

#include <string_view>
#include <vector>

namespace velmar {

class Table;

/// How the texts of a column compare when the rows are put in order.
enum class SortKind {
    Address, ///< text, without regard to letter case under the code page
    Count, ///< a decimal integer (minutes, sessions)
    Size, ///< a size text: "-" for nothing, digits with "," separators
    Money, ///< a number with the locale's decimal separator
    Date, ///< a log date text with the log's month words
    Time, ///< a time of day
};

/// The kind of each column of the detailed table (date, start, end, address, minutes, received, money).
SortKind detailedColumnKind(int column);
/// The kind of each column of the summary (address, minutes, received, money, sessions).
SortKind summaryColumnKind(int column);

/// The rows first..last (table rows, both included) of `table` in the order of column `column` read as
/// `kind`, ascending or descending; rows with equal keys keep their order in the table. Each cell is read
/// once into a key and a list of row numbers is sorted by the keys, so the table itself is never touched.
/// A text that does not read as its kind (a cell that is empty or damaged) sorts before every number.
std::vector<int> sortedRows(const Table& table, int column, SortKind kind, int first, int last, bool descending);

/// Puts the rows firstNew..lastNew (table rows appended behind those of `order`) into `order`, which holds
/// rows of `table` in the order sortedRows gives for the same column, kind and direction; the result is
/// what sortedRows would give for all the rows. Only the new rows' keys and those met while searching
/// their places are read, so a few rows are taken into a long order quickly.
void insertSortedRows(
    const Table& table, int column, SortKind kind, std::vector<int>& order, int firstNew, int lastNew, bool descending);

} // namespace velmar
