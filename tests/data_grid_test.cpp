#include "app/main_window.h"
#include "app/window/column_table.h"
#include "app/window/data_grid.h"

#include <QHeaderView>
#include <algorithm>
#include <gtest/gtest.h>

using namespace oxtiva;

namespace
{

TEST(FormatGrid, WritesTheSixteenCaptionsLeftToRightIntoRowZero)
{
    TfrmOxtiva w;
    const QStringList expected = {"Duration, s", "Mode",       "Step",          "Cell T, ºC",
                                  "Pump V, V",   "Pump I, A",  "Cell pO2, atm", "Flush pO2, atm",
                                  "RC pO2, %",   "Stable pO2", "Range pO2",     "RC I, %",
                                  "Stable I",    "SP",         "Time",          "Cell pO2P, atm"};
    TStringGrid& grid = *w.StringGridData;
    ASSERT_EQ(grid.ColCount(), 16);
    EXPECT_EQ(grid.RowCount(), 2);
    for (int col = 0; col < 16; ++col) {
        EXPECT_EQ(grid.Cell(col, 0), expected[col]) << col;
        EXPECT_EQ(grid.model()->headerData(col, Qt::Horizontal).toString(), expected[col]);
        EXPECT_TRUE(grid.Cell(col, 1).isEmpty());
    }
}

TEST(FormatGrid, GivesEachColumnAtLeastItsTableWidthAndRoomForItsText)
{
    TfrmOxtiva w;
    const QFontMetrics cellFont = w.StringGridData->fontMetrics();
    const QFontMetrics captionFont = w.StringGridData->horizontalHeader()->fontMetrics();
    for (const RColInfo& column : ColInfo) {
        const int width = w.StringGridData->columnWidth(column.ColID);
        EXPECT_GE(width, column.ColWidth) << column.Caption.toStdString();
        EXPECT_GT(width, captionFont.horizontalAdvance(column.Caption));
        EXPECT_GT(width, cellFont.horizontalAdvance(WidestColumnText(column)));
    }
}

TEST(FittedColumnWidth, KeepsTheTableWidthWhereTheTextFitsAndWidensWhereItDoesNot)
{
    QFont tiny;
    tiny.setPixelSize(2);
    QFont large;
    large.setPixelSize(40);
    const RColInfo& pO2 = ColumnOf(TProperty::CellpO2);
    EXPECT_EQ(FittedColumnWidth(pO2, QFontMetrics(tiny), QFontMetrics(tiny)), pO2.ColWidth);
    const int wide = FittedColumnWidth(pO2, QFontMetrics(large), QFontMetrics(tiny));
    EXPECT_GT(wide, QFontMetrics(large).horizontalAdvance("-8.888888E+88"));
}

struct TWidestTextCase {
    TProperty Property;
    const char* Text;
};

class WidestColumnTextTest : public ::testing::TestWithParam<TWidestTextCase>
{
};

TEST_P(WidestColumnTextTest, FollowsTheColumnFormat)
{
    EXPECT_EQ(WidestColumnText(ColumnOf(GetParam().Property)), GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(Columns, WidestColumnTextTest,
                         ::testing::Values(TWidestTextCase{TProperty::Time, "8888-88-88 88:88:88"},
                                           TWidestTextCase{TProperty::PumpV, "-8.88888E+8"},
                                           TWidestTextCase{TProperty::CellpO2, "-8.888888E+88"},
                                           TWidestTextCase{TProperty::Temp, "-8.88"},
                                           TWidestTextCase{TProperty::Date, "8888-88-88_88:88"},
                                           TWidestTextCase{TProperty::SetPoint, "-88.888"},
                                           TWidestTextCase{TProperty::StableI, "True"}));

struct TColumnCase {
    TProperty Property;
    int ColID;
    const char* Format;
};

TEST(ColumnTable, FindsEachQuantityInItsColumn)
{
    const TColumnCase cases[] = {{TProperty::Time, 0, "0.00"},
                                 {TProperty::Mode, 1, "0"},
                                 {TProperty::Step, 2, "0"},
                                 {TProperty::Temp, 3, "0.00"},
                                 {TProperty::PumpV, 4, "0.00000E+0"},
                                 {TProperty::PumpI, 5, "0.000E+0"},
                                 {TProperty::CellpO2, 6, "0.000000E+00"},
                                 {TProperty::FlushpO2, 7, "0.00E+0"},
                                 {TProperty::RCpO2, 8, "0.000"},
                                 {TProperty::RCI, 11, "0.000"},
                                 {TProperty::Date, 14, "yyyy-mm-dd_hh:mm"},
                                 {TProperty::CellpO2P, 15, "0.000000E+00"}};
    for (const TColumnCase& c : cases) {
        EXPECT_EQ(ColumnOf(c.Property).ColID, c.ColID);
        EXPECT_EQ(ColumnOf(c.Property).Format, QString::fromLatin1(c.Format));
    }
    QList<int> ids;
    for (const RColInfo& column : ColInfo) {
        ids << column.ColID;
        EXPECT_FALSE(column.Time);
    }
    std::sort(ids.begin(), ids.end());
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(ids[i], i); // every column exactly once
}

TEST(StringGrid, AppendsRowsAfterTheEmptyRowOne)
{
    TStringGrid grid;
    FormatGrid(grid);
    EXPECT_EQ(grid.AddRow(), 2);
    EXPECT_EQ(grid.AddRow(), 3);
    EXPECT_EQ(grid.RowCount(), 4);
    EXPECT_EQ(grid.model()->rowCount(), 3); // the caption row is the header
    grid.SetCell(ColumnOf(TProperty::Temp).ColID, 3, QStringLiteral("845.30"));
    EXPECT_EQ(grid.model()->data(grid.model()->index(2, 3)).toString(), QStringLiteral("845.30"));
}

TEST(StringGrid, KeepsEveryCellOfARowApart)
{
    TStringGrid grid;
    FormatGrid(grid);
    const int row = grid.AddRow();
    grid.SetCell(15, row, QStringLiteral("2.100000E-05"));
    grid.SetCell(3, row, QStringLiteral("T ºC"));
    grid.SetCell(0, row, QStringLiteral("2020-05-17 14:03:59"));
    grid.SetCell(3, row, QStringLiteral("845.30")); // overwrite in the middle
    grid.SetCell(7, row,
                 QStringLiteral("a\x1f"
                                "b"));
    EXPECT_EQ(grid.Cell(0, row), QStringLiteral("2020-05-17 14:03:59"));
    EXPECT_EQ(grid.Cell(3, row), QStringLiteral("845.30"));
    EXPECT_EQ(grid.Cell(7, row), QStringLiteral("a b"));
    EXPECT_EQ(grid.Cell(15, row), QStringLiteral("2.100000E-05"));
    for (int col : {1, 2, 4, 5, 6, 8, 14})
        EXPECT_TRUE(grid.Cell(col, row).isEmpty()) << col;
    grid.SetCell(3, row, QString());
    EXPECT_TRUE(grid.Cell(3, row).isEmpty());
    EXPECT_EQ(grid.Cell(15, row), QStringLiteral("2.100000E-05"));
}

TEST(StringGrid, IgnoresCellsOutsideTheGrid)
{
    TStringGrid grid;
    FormatGrid(grid);
    grid.SetCell(16, 1, QStringLiteral("x"));
    grid.SetCell(0, 2, QStringLiteral("x"));
    grid.SetCell(-1, 1, QStringLiteral("x"));
    EXPECT_TRUE(grid.Cell(16, 1).isEmpty());
    EXPECT_TRUE(grid.Cell(0, 2).isEmpty());
    EXPECT_TRUE(grid.Cell(0, -1).isEmpty());
    EXPECT_EQ(grid.RowCount(), 2);
}

TEST(StringGrid, SelectsWholeRowsOfTwentyPixelsWithoutEditing)
{
    TfrmOxtiva w;
    TStringGrid& grid = *w.StringGridData;
    EXPECT_EQ(grid.selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(grid.editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(grid.verticalHeader()->defaultSectionSize(), 20);
    EXPECT_FALSE(grid.verticalHeader()->isVisible());
    EXPECT_EQ(grid.horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
    const int row = grid.AddRow();
    EXPECT_FALSE(grid.model()->flags(grid.model()->index(row - 1, 0)) & Qt::ItemIsEditable);
    grid.ScrollToRow(row);
    EXPECT_EQ(grid.currentIndex().row(), row - 1);
}

} // namespace
