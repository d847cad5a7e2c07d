#include "Unit1/ColumnFitter.h"

#include "Unit1/Texts.h"
#include "statistics/Table.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QTableView>
#include <algorithm>

ColumnFitter::ColumnFitter(QTableView& grid, const velmar::Table& table, std::vector<int> designed)
    : grid_(grid)
    , table_(table)
    , designed_(std::move(designed))
{
}

int ColumnFitter::neededWidth(int column) const
{
    // A cell draws its text inside a margin on either side and the grid line. The longest text is the
    // one of most letters; a text of as many but wider letters (another month word) needs a little more.
    const QFontMetrics cellMetrics(grid_.font());
    const int margin = 2 * (grid_.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &grid_) + 1) + 1;
    const int spare = std::max(
        2, cellMetrics.horizontalAdvance(QLatin1Char('M')) - cellMetrics.horizontalAdvance(QLatin1Char('0')));
    int width = 0;
    if (const int row = table_.longestRow(column); row > 0)
        width = cellMetrics.horizontalAdvance(fromCodePage(table_.cell(column, row))) + margin + spare;

    // The header holds its caption, its padding and room for the sort indicator.
    const QHeaderView* header = grid_.horizontalHeader();
    const QFontMetrics headerMetrics(header->font());
    const QString caption = fromCodePage(table_.cell(column, 0));
    if (!caption.isEmpty()) {
        const int indicator = headerMetrics.height();
        width = std::max(width, headerMetrics.horizontalAdvance(caption) + margin + indicator);
    }
    return width;
}

void ColumnFitter::widen()
{
    const int columns = grid_.model() ? grid_.model()->columnCount() : 0;
    for (int column = 0; column < columns; ++column) {
        const int designed
            = static_cast<size_t>(column) < designed_.size() ? designed_[static_cast<size_t>(column)] : 0;
        const int width = std::max({ designed, neededWidth(column), grid_.columnWidth(column) });
        if (width != grid_.columnWidth(column))
            grid_.setColumnWidth(column, width);
    }
}
