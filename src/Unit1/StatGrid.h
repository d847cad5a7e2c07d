#pragma once

#include <QTableView>

class SortedRowsModel;

/// The grid both statistics pages show: flat, grid lines, whole-row selection, no editing, columns the user
/// may resize, a vertical scroll bar only. Ctrl+C copies the selected rows as tab-separated text.
class StatGrid : public QTableView {
    Q_OBJECT
public:
    explicit StatGrid(QWidget* parent = nullptr);

    /// Shows `model` and lets a click on a header cycle its order (ascending, descending, log order), with
    /// the sort indicator on the header.
    void setSortedModel(SortedRowsModel* model);
    /// Sets the initial widths of the columns, from the left.
    void setColumnWidths(std::initializer_list<int> widths);
    /// The selected rows, each cell separated by a tab and each row ended by a line feed.
    QString selectedRowsText() const;
    /// Puts the selected rows on the clipboard.
    void copySelection();

signals:
    /// A mouse button was released anywhere over the grid, its header included.
    void mouseReleased();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};
