#include "Unit1/SortedRowsModel.h"

#include "statistics/Table.h"

#include <algorithm>
#include <numeric>

SortedRowsModel::SortedRowsModel(
    const velmar::Table& table, std::function<velmar::SortKind(int)> kindOf, int fixedTail, QObject* parent)
    : QAbstractProxyModel(parent)
    , table_(table)
    , kindOf_(std::move(kindOf))
    , fixedTail_(fixedTail)
{
}

void SortedRowsModel::setSourceModel(QAbstractItemModel* source)
{
    beginResetModel();
    if (sourceModel())
        disconnect(sourceModel(), nullptr, this, nullptr);
    QAbstractProxyModel::setSourceModel(source);
    if (source) {
        connect(source, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
        // A rebuilt table is shown in the order chosen before.
        connect(source, &QAbstractItemModel::modelReset, this, [this] {
            resort();
            endResetModel();
        });
        connect(source, &QAbstractItemModel::headerDataChanged, this, &QAbstractItemModel::headerDataChanged);
    }
    resort();
    endResetModel();
}

QModelIndex SortedRowsModel::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || row < 0 || column < 0 || row >= rowCount() || column >= columnCount())
        return {};
    return createIndex(row, column);
}

QModelIndex SortedRowsModel::parent(const QModelIndex&) const
{
    return {};
}

int SortedRowsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !sourceModel() ? 0 : sourceModel()->rowCount();
}

int SortedRowsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() || !sourceModel() ? 0 : sourceModel()->columnCount();
}

int SortedRowsModel::sourceRow(int row) const
{
    return rows_.empty() ? row : rows_[static_cast<size_t>(row)];
}

QModelIndex SortedRowsModel::mapToSource(const QModelIndex& proxyIndex) const
{
    if (!proxyIndex.isValid() || !sourceModel())
        return {};
    return sourceModel()->index(sourceRow(proxyIndex.row()), proxyIndex.column());
}

QModelIndex SortedRowsModel::mapFromSource(const QModelIndex& sourceIndex) const
{
    if (!sourceIndex.isValid())
        return {};
    const int row = inverse_.empty() ? sourceIndex.row() : inverse_[static_cast<size_t>(sourceIndex.row())];
    return index(row, sourceIndex.column());
}

void SortedRowsModel::sortBy(int column, Qt::SortOrder order)
{
    if (column >= columnCount())
        column = -1;
    beginResetModel();
    column_ = column;
    order_ = order;
    resort();
    endResetModel();
    emit sortChanged(column_, order_);
}

void SortedRowsModel::cycle(int column)
{
    if (column != column_)
        sortBy(column, Qt::AscendingOrder);
    else if (order_ == Qt::AscendingOrder)
        sortBy(column, Qt::DescendingOrder);
    else
        sortBy(-1, Qt::AscendingOrder);
}

void SortedRowsModel::resort()
{
    rows_.clear();
    inverse_.clear();
    const int rows = rowCount();
    if (column_ < 0 || rows <= 0)
        return;
    // Model row r is table row r + 1 (row 0 of the table is its header); the fixed rows stay behind.
    const int sorted = std::max(rows - fixedTail_, 0);
    rows_ = velmar::sortedRows(table_, column_, kindOf_(column_), 1, sorted, order_ == Qt::DescendingOrder);
    for (int& row : rows_)
        row -= 1;
    for (int row = sorted; row < rows; ++row)
        rows_.push_back(row);
    inverse_.resize(rows_.size());
    for (size_t i = 0; i < rows_.size(); ++i)
        inverse_[static_cast<size_t>(rows_[i])] = static_cast<int>(i);
}
