#pragma once

#include <vector>

class QTableView;

namespace velmar {
class Table;
}

/// Widens the columns of a statistics grid so that every cell shows whole: each column becomes at least as
/// wide as its header and as the longest text the table noted while it was built (one text measured per
/// column, however many rows), and never narrower than it is. Columns wider than the page scroll sideways.
class ColumnFitter {
public:
    /// `designed`: the widths the columns have at the first start, the least they ever get.
    ColumnFitter(QTableView& grid, const velmar::Table& table, std::vector<int> designed);

    /// The width the texts of `column` need, from the grid's fonts and the table's noted longest text.
    int neededWidth(int column) const;
    /// Widens every column that is narrower than its texts need or than its designed width.
    void widen();

private:
    QTableView& grid_;
    const velmar::Table& table_;
    std::vector<int> designed_;
};
