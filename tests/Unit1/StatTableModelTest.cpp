#include "Unit1/StatTableModel.h"

#include "Unit1/StatGrid.h"
#include "statistics/Table.h"
#include "support/TestSupport.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>

using velmar::Table;

TEST(StatTableModel, ShowsDataRowsUnderTheHeaderRow)
{
    Table table(3);
    table.setCell(0, 0, "Date");
    table.setCell(1, 0, "Start");
    StatTableModel model(table);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);

    // A fresh table: the header and one empty data row.
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.columnCount(), 3);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Date"));
    EXPECT_EQ(model.index(0, 0).data().toString(), QString());

    model.beginRebuild();
    table.setRowCount(4);
    table.setCell(0, 1, "12-Mar-2003");
    table.setCell(2, 3, velmar::test::cp1251("Итого"));
    model.endRebuild();
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.index(0, 0).data().toString(), QStringLiteral("12-Mar-2003"));
    // Cells are bytes of the code page; the model shows them as Unicode.
    EXPECT_EQ(model.index(2, 2).data().toString(), QStringLiteral("Итого"));
    EXPECT_FALSE(model.index(0, 0).data(Qt::EditRole).isValid());
    EXPECT_EQ(model.rowCount(model.index(0, 0)), 0);
    EXPECT_EQ(model.flags(model.index(0, 0)) & Qt::ItemIsEditable, Qt::NoItemFlags);
}

TEST(StatGrid, CopiesSelectedRowsAsTabSeparatedText)
{
    Table table(3);
    table.setRowCount(4);
    for (int r = 1; r <= 3; ++r) {
        for (int c = 0; c < 3; ++c)
            table.setCell(c, r, "r" + std::to_string(r) + "c" + std::to_string(c));
    }
    StatTableModel model(table);
    StatGrid grid;
    grid.setModel(&model);
    grid.selectionModel()->select(model.index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    grid.selectionModel()->select(model.index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    // Rows come in table order whatever order they were selected in.
    EXPECT_EQ(grid.selectedRowsText(), QStringLiteral("r1c0\tr1c1\tr1c2\nr3c0\tr3c1\tr3c2\n"));
    grid.copySelection();
    EXPECT_EQ(QApplication::clipboard()->text(), grid.selectedRowsText());
}
