#include "app/column_table.h"
#include "app/data_grid.h"

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

} // namespace
