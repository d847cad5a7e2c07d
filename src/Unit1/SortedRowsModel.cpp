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
        // Rows appended while the log is followed.
        connect(source, &QAbstractItemModel::rowsAboutToBeInserted, this,
            [this](const QModelIndex&, int first, int last) { sourceRowsAboutToBeInserted(first, last); });
        connect(source, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { sourceRowsInserted(first, last); });
        connect(source, &QAbstractItemModel::dataChanged, this, &SortedRowsModel::sourceDataChanged);
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

int SortedRowsModel::rowOfSource(int sourceRow) const
{
    return inverse_.empty() ? sourceRow : inverse_[static_cast<size_t>(sourceRow)];
}

QModelIndex SortedRowsModel::mapFromSource(const QModelIndex& sourceIndex) const
{
    if (!sourceIndex.isValid())
        return {};
    return index(rowOfSource(sourceIndex.row()), sourceIndex.column());
}

template <typename Change> void SortedRowsModel::reorder(Change&& change)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> sources;
    sources.reserve(static_cast<size_t>(before.size()));
    for (const QModelIndex& index : before)
        sources.push_back(sourceRow(index.row()));
    change();
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        after.push_back(index(rowOfSource(sources[static_cast<size_t>(i)]), before[i].column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void SortedRowsModel::sourceRowsAboutToBeInserted(int first, int last)
{
    // In log order a row stands where it stands in the table. In another order the new rows are first put
    // behind the sorted ones, in front of the fixed rows, and then moved to their places.
    insertedAt_ = rows_.empty() ? first : std::max(static_cast<int>(rows_.size()) - fixedTail_, 0);
    beginInsertRows({}, insertedAt_, insertedAt_ + last - first);
}

void SortedRowsModel::sourceRowsInserted(int first, int last)
{
    if (rows_.empty()) {
        endInsertRows();
        // The first rows of a table sorted while it was empty.
        if (column_ >= 0)
            reorder([this] { resort(); });
        return;
    }
    const int count = last - first + 1;
    for (int& row : rows_) {
        if (row >= first)
            row += count;
    }
    std::vector<int> added(static_cast<size_t>(count));
    std::iota(added.begin(), added.end(), first);
    rows_.insert(rows_.begin() + insertedAt_, added.begin(), added.end());
    rebuildInverse();
    endInsertRows();

    reorder([&] {
        // Model row r is table row r + 1; the rows behind the sorted ones stay there.
        std::vector<int> sorted(rows_.begin(), rows_.begin() + insertedAt_);
        for (int& row : sorted)
            row += 1;
        velmar::insertSortedRows(
            table_, column_, kindOf_(column_), sorted, first + 1, last + 1, order_ == Qt::DescendingOrder);
        for (int& row : sorted)
            row -= 1;
        std::copy(sorted.begin(), sorted.end(), rows_.begin());
        rebuildInverse();
    });
}

void SortedRowsModel::sourceDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight)
{
    if (column_ < 0) {
        emit dataChanged(mapFromSource(topLeft), mapFromSource(bottomRight));
        return;
    }
    // Other texts may belong elsewhere in the order.
    reorder([this] { resort(); });
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
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
    rebuildInverse();
}

void SortedRowsModel::rebuildInverse()
{
    inverse_.resize(rows_.size());
    for (size_t i = 0; i < rows_.size(); ++i)
        inverse_[static_cast<size_t>(rows_[i])] = static_cast<int>(i);
}
