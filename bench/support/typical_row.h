#pragma once

#include "app/window/column_table.h"
#include "app/window/data_grid.h"

#include <utility>

namespace oxtiva::bench
{

// One data row as the assembly writes it, with the widths of real values, so that files
// and journals grow by what a real run's rows take.
inline void FillTypicalRow(TStringGrid& grid, int row)
{
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
    for (const auto& [property, text] : cells)
        grid.SetCell(ColumnOf(property).ColID, row, QString::fromLatin1(text));
}

} // namespace oxtiva::bench
