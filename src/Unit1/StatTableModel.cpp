#include "Unit1/StatTableModel.h"

#include "Unit1/Texts.h"
#include "statistics/Table.h"

StatTableModel::StatTableModel(const velmar::Table& table, QObject* parent)
    : QAbstractTableModel(parent)
    , table_(table)
{
}

int StatTableModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return frozenRows_ >= 0 ? frozenRows_ : table_.rowCount() - 1;
}

int StatTableModel::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return table_.colCount();
}

QVariant StatTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    if (role != Qt::DisplayRole)
        return {};
    return fromCodePage(table_.cell(index.column(), index.row() + 1));
}

QVariant StatTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || section < 0)
        return {};
    if (orientation == Qt::Horizontal) {
        if (section >= columnCount())
            return {};
        return fromCodePage(table_.cell(section, 0));
    }
    return section + 1;
}

void StatTableModel::beginRebuild()
{
    if (rebuilding_)
        return;
    rebuilding_ = true;
    beginResetModel();
}

void StatTableModel::endRebuild()
{
    if (!rebuilding_)
        return;
    rebuilding_ = false;
    endResetModel();
}

void StatTableModel::headerChanged()
{
    if (columnCount() > 0)
        emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void StatTableModel::beginAppend()
{
    if (!rebuilding_ && frozenRows_ < 0)
        frozenRows_ = rowCount();
}

void StatTableModel::endAppend(int tail, bool cellsChanged)
{
    if (frozenRows_ < 0)
        return;
    const int before = frozenRows_;
    const int now = table_.rowCount() - 1;
    if (now < before || (now > before && before < tail)) {
        beginResetModel();
        frozenRows_ = -1;
        endResetModel();
        return;
    }
    if (now > before) {
        const int first = before - tail;
        beginInsertRows({}, first, first + now - before - 1);
        frozenRows_ = -1;
        endInsertRows();
    }
    frozenRows_ = -1;
    if (cellsChanged && now > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(now - 1, columnCount() - 1));
}
