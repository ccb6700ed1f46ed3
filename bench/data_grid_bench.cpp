// Filling the grid with a month of rows; the grid shown on screen at 1,000 rows and at four
// weeks of 1 s points (2,400,000): a repaint of its visible rows, and the cost of one new
// row as the control cycle adds it (the row, its cells, scrolled into view, drawn). Each
// must cost about the same at both lengths: the ratio of the two is what to read.
#include "app/window/column_table.h"
#include "app/window/data_grid.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

namespace
{

// One data row as the assembly writes it: twelve of the sixteen cells filled.
void FillRow(oxtiva::TStringGrid& aGrid, int aRow)
{
    using oxtiva::ColumnOf;
    using oxtiva::TProperty;
    aGrid.SetCell(ColumnOf(TProperty::Time).ColID, aRow, QStringLiteral("1234.56"));
    aGrid.SetCell(ColumnOf(TProperty::PumpV).ColID, aRow, QStringLiteral("1.23456E-1"));
    aGrid.SetCell(ColumnOf(TProperty::PumpI).ColID, aRow, QStringLiteral("-1.234E-4"));
    aGrid.SetCell(ColumnOf(TProperty::Mode).ColID, aRow, QStringLiteral("15"));
    aGrid.SetCell(ColumnOf(TProperty::Date).ColID, aRow, QStringLiteral("2020-05-17_14:03"));
    aGrid.SetCell(ColumnOf(TProperty::CellpO2).ColID, aRow, QStringLiteral("2.100000E-05"));
    aGrid.SetCell(ColumnOf(TProperty::Temp).ColID, aRow, QStringLiteral("845.30"));
    aGrid.SetCell(ColumnOf(TProperty::FlushpO2).ColID, aRow, QStringLiteral("2.10E-1"));
    aGrid.SetCell(ColumnOf(TProperty::RCpO2).ColID, aRow, QStringLiteral("0.123"));
    aGrid.SetCell(ColumnOf(TProperty::StablepO2).ColID, aRow, QStringLiteral("True"));
    aGrid.SetCell(ColumnOf(TProperty::Step).ColID, aRow, QStringLiteral("3"));
    aGrid.SetCell(ColumnOf(TProperty::SetPoint).ColID, aRow, QStringLiteral("-6"));
}

// A month of 10 s points is about a quarter of a million rows.
void BM_GridMonthOfRows(benchmark::State& state)
{
    for (auto _ : state) {
        oxtiva::TStringGrid grid;
        oxtiva::FormatGrid(grid);
        for (int i = 0; i < state.range(0); ++i)
            FillRow(grid, grid.AddRow());
        benchmark::DoNotOptimize(grid.Cell(3, grid.RowCount() - 1));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_GridMonthOfRows)->Arg(260000)->Unit(benchmark::kMillisecond)->Iterations(1);

struct TShownGrid {
    oxtiva::TStringGrid Grid;

    explicit TShownGrid(int aRows)
    {
        oxtiva::FormatGrid(Grid);
        for (int i = 0; i < aRows; ++i)
            FillRow(Grid, Grid.AddRow());
        Grid.resize(1200, 700);
        Grid.show();
        Grid.ScrollToRow(Grid.RowCount() - 1);
        QCoreApplication::processEvents();
        Grid.viewport()->repaint(); // fonts and caches of the first drawing are no repaint's cost
    }
};

void BM_GridRepaintVisibleRows(benchmark::State& state)
{
    TShownGrid shown(int(state.range(0)));
    for (auto _ : state)
        shown.Grid.viewport()->repaint();
}
BENCHMARK(BM_GridRepaintVisibleRows)
    ->Arg(1000)
    ->Arg(2400000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_GridNewRowShown(benchmark::State& state)
{
    TShownGrid shown(int(state.range(0)));
    for (auto _ : state) {
        const int row = shown.Grid.AddRow();
        FillRow(shown.Grid, row);
        shown.Grid.ScrollToRow(row);
        QCoreApplication::processEvents(); // the layout and repaint the new row queued
    }
}
BENCHMARK(BM_GridNewRowShown)
    ->Arg(1000)
    ->Arg(2400000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
