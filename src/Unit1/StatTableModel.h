#pragma once

#include <QAbstractTableModel>

namespace velmar {
class Table;
}

/// A read-only view of one statistics table of the core. Row 0 of the table is the header; the data rows
/// 1 to RowCount - 1 are the model's rows 0 to RowCount - 2. Cells are read from the core on demand and
/// never copied, so a table of a million rows shows at once.
class StatTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit StatTableModel(const velmar::Table& table, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    /// Brackets a change of the cells of the table: the views forget and re-read everything.
    void beginRebuild();
    void endRebuild();
    /// The header row of the table was rewritten.
    void headerChanged();
    /// Brackets rows the core adds to the table while the views go on: until endAppend they see the rows
    /// there were, then they learn of the new ones as inserted in front of the last `tail` rows (the
    /// summary's empty and total row), keeping their selection and scroll position. With `cellsChanged`
    /// the rows there were may hold other texts too. A table that lost rows is shown anew.
    void beginAppend();
    void endAppend(int tail, bool cellsChanged);

private:
    const velmar::Table& table_;
    bool rebuilding_ = false;
    int frozenRows_ = -1; // the rows shown while the table grows, or -1
};
