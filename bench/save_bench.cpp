// Save of a month-long experiment: 200,000 grid rows to the data file plus the picture.
#include "app/column_table.h"
#include "app/data_grid.h"
#include "app/experiment_saver.h"
#include "app/main_window.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace
{

void FillRow(oxtiva::TStringGrid& grid, int row)
{
    using oxtiva::ColumnOf;
    using oxtiva::TProperty;
    const std::pair<TProperty, const char*> cells[] = {{TProperty::Time, "1234.56"},
                                                       {TProperty::PumpV, "1.23456E-1"},
                                                       {TProperty::PumpI, "-1.234E-4"},
                                                       {TProperty::Mode, "15"},
                                                       {TProperty::Date, "2020-05-17_14:03"},
                                                       {TProperty::CellpO2, "2.100000E-05"},
                                                       {TProperty::Temp, "845.30"},
                                                       {TProperty::FlushpO2, "2.10E-1"},
                                                       {TProperty::RCpO2, "0.123"},
                                                       {TProperty::StablepO2, "True"},
                                                       {TProperty::RCI, "-0.004"},
                                                       {TProperty::StableI, "True"},
                                                       {TProperty::Step, "3"},
                                                       {TProperty::SetPoint, "-6"}};
    for (const auto& [q, text] : cells)
        grid.SetCell(ColumnOf(q).ColID, row, QString::fromLatin1(text));
}

void BM_Save200000Rows(benchmark::State& state)
{
    QTemporaryDir folder;
    oxtiva::TfrmOxtiva window;
    window.Saver().SetProgramFolder(folder.path());
    window.EditSampleName->setText(QStringLiteral("Bench"));
    for (int i = 0; i < 200000; ++i)
        FillRow(*window.StringGridData, window.StringGridData->AddRow());
    for (auto _ : state) {
        if (!window.Saver().Save()) state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_Save200000Rows)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
