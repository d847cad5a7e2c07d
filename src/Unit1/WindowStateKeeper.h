#pragma once

#include <vector>

class QSettings;
class QTabWidget;
class QTableView;
class QWidget;

/// Keeps the window's size and position, its active page and the width of every column of its grids
/// between runs, in the user's configuration location (never in the settings file "config"). With nothing
/// kept yet the window keeps its designed geometry.
class WindowStateKeeper {
public:
    WindowStateKeeper(QWidget& window, QTabWidget& pages, std::vector<QTableView*> grids, QSettings& store);

    /// Puts back what the last run kept. A page is made active only when its tab is shown (a start that
    /// found no log stays on the settings page); widths are taken only for a grid of as many columns.
    void restore();
    /// Keeps the state as it stands now.
    void save();

private:
    QWidget& window_;
    QTabWidget& pages_;
    std::vector<QTableView*> grids_;
    QSettings& store_;
};
