#include "Unit1/WindowStateKeeper.h"

#include <QAbstractItemModel>
#include <QSettings>
#include <QTabWidget>
#include <QTableView>

namespace {

const QString kGeometry = QStringLiteral("window/geometry");
const QString kPage = QStringLiteral("window/page");

QString widthsKey(const QTableView* grid)
{
    return QStringLiteral("columns/") + grid->objectName();
}

// A kept width outside these bounds is damage, not a choice of the user.
constexpr int kWidestColumn = 4000;

} // namespace

WindowStateKeeper::WindowStateKeeper(
    QWidget& window, QTabWidget& pages, std::vector<QTableView*> grids, QSettings& store)
    : window_(window)
    , pages_(pages)
    , grids_(std::move(grids))
    , store_(store)
{
}

void WindowStateKeeper::restore()
{
    const QByteArray geometry = store_.value(kGeometry).toByteArray();
    if (!geometry.isEmpty())
        window_.restoreGeometry(geometry);

    bool pageOk = false;
    const int page = store_.value(kPage).toInt(&pageOk);
    if (pageOk && page >= 0 && page < pages_.count() && pages_.isTabVisible(page)
        && pages_.isTabVisible(pages_.currentIndex()))
        pages_.setCurrentIndex(page);

    for (QTableView* grid : grids_) {
        const QStringList widths = store_.value(widthsKey(grid)).toStringList();
        if (!grid->model() || widths.size() != grid->model()->columnCount())
            continue;
        for (int column = 0; column < widths.size(); ++column) {
            bool ok = false;
            const int width = widths[column].toInt(&ok);
            if (ok && width > 0 && width <= kWidestColumn)
                grid->setColumnWidth(column, width);
        }
    }
}

void WindowStateKeeper::save()
{
    store_.setValue(kGeometry, window_.saveGeometry());
    store_.setValue(kPage, pages_.currentIndex());
    for (const QTableView* grid : grids_) {
        QStringList widths;
        const int columns = grid->model() ? grid->model()->columnCount() : 0;
        for (int column = 0; column < columns; ++column)
            widths.append(QString::number(grid->columnWidth(column)));
        store_.setValue(widthsKey(grid), widths);
    }
    store_.sync();
}
