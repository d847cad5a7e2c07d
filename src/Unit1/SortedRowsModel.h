#pragma once

#include "statistics/RowOrder.h"

#include <QAbstractProxyModel>
#include <functional>
#include <vector>

namespace velmar {
class Table;
}

/// Shows the rows of a statistics table model in the order of one column. Only the view changes: the core's
/// table keeps log order, so the exports and the date lists are untouched. A click on a header cycles
/// through ascending, descending and log order; the last `fixedTail` rows (the summary's empty row and total
/// row) always stay last. The order is a list of row numbers sorted by keys read once from the cells.
class SortedRowsModel : public QAbstractProxyModel {
    Q_OBJECT
public:
    /// `kindOf` gives the sort kind of each column.
    SortedRowsModel(const velmar::Table& table, std::function<velmar::SortKind(int)> kindOf, int fixedTail,
        QObject* parent = nullptr);

    void setSourceModel(QAbstractItemModel* source) override;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;

    /// Sorts by the column, or back to log order with `column` -1.
    void sortBy(int column, Qt::SortOrder order);
    /// What a click on the header of `column` does: ascending, then descending, then log order.
    void cycle(int column);
    /// The column sorted by, -1 for log order.
    int sortColumn() const { return column_; }
    Qt::SortOrder sortOrder() const { return order_; }

signals:
    /// The order changed: the header shows `column` (-1: none) with `order`.
    void sortChanged(int column, Qt::SortOrder order);

private:
    void resort();
    void rebuildInverse();
    int sourceRow(int row) const;
    int rowOfSource(int sourceRow) const;
    /// Changes the order by `change`, keeping every persistent index (selection, current row) on its row.
    template <typename Change> void reorder(Change&& change);
    void sourceRowsAboutToBeInserted(int first, int last);
    void sourceRowsInserted(int first, int last);
    void sourceDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight);

    const velmar::Table& table_;
    std::function<velmar::SortKind(int)> kindOf_;
    int fixedTail_;
    int column_ = -1;
    Qt::SortOrder order_ = Qt::AscendingOrder;
    std::vector<int> rows_; // model row -> source row; empty in log order
    std::vector<int> inverse_; // source row -> model row
    int insertedAt_ = 0; // where source rows being inserted go in the sorted order until they are placed
};
