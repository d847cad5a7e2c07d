#include "Unit1/StatGrid.h"

#include "Unit1/SortedRowsModel.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <algorithm>

StatGrid::StatGrid(QWidget* parent)
    : QTableView(parent)
{
    setFrameShape(QFrame::NoFrame);
    setShowGrid(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Columns wider than the page (long addresses, big totals) scroll sideways rather than being cut.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWordWrap(false);
    setCornerButtonEnabled(false);

    verticalHeader()->setVisible(false);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(16);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);

    QHeaderView* header = horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setDefaultSectionSize(110);
    header->setMinimumSectionSize(1);
    header->setStretchLastSection(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setStyleSheet(QStringLiteral("QHeaderView::section { background-color: rgb(221, 245, 255); "
                                         "border: 0px; border-right: 1px solid gray; "
                                         "border-bottom: 1px solid gray; padding-left: 2px; }"));

    viewport()->installEventFilter(this);
    header->viewport()->installEventFilter(this);
}

void StatGrid::setSortedModel(SortedRowsModel* model)
{
    setModel(model);
    QHeaderView* header = horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    connect(header, &QHeaderView::sectionClicked, model, &SortedRowsModel::cycle);
    connect(model, &SortedRowsModel::sortChanged, header,
        [header](int column, Qt::SortOrder order) { header->setSortIndicator(column, order); });
}

void StatGrid::setColumnWidths(std::initializer_list<int> widths)
{
    int column = 0;
    for (int width : widths)
        setColumnWidth(column++, width);
}

QString StatGrid::selectedRowsText() const
{
    if (!model() || !selectionModel())
        return {};
    QList<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    QString text;
    for (int row : rows) {
        for (int column = 0; column < model()->columnCount(); ++column) {
            if (column > 0)
                text += QLatin1Char('\t');
            text += model()->index(row, column).data().toString();
        }
        text += QLatin1Char('\n');
    }
    return text;
}

void StatGrid::copySelection()
{
    const QString text = selectedRowsText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

void StatGrid::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        copySelection();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

bool StatGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease)
        emit mouseReleased();
    return QTableView::eventFilter(watched, event);
}
