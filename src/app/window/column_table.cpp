#include "app/window/column_table.h"

namespace oxtiva
{

const std::array<RColInfo, PropertyCount> ColInfo = {{
    {QStringLiteral("Mode"), false, QStringLiteral("0"), 1, 35},
    {QStringLiteral("Duration, s"), false, QStringLiteral("0.00"), 0, 120},
    {QStringLiteral("Pump V, V"), false, QStringLiteral("0.00000E+0"), 4, 80},
    {QStringLiteral("Pump I, A"), false, QStringLiteral("0.000E+0"), 5, 60},
    {QStringLiteral("Cell pO2, atm"), false, QStringLiteral("0.000000E+00"), 6, 85},
    {QStringLiteral("Cell T, ºC"), false, QStringLiteral("0.00"), 3, 55},
    {QStringLiteral("Flush pO2, atm"), false, QStringLiteral("0.00E+0"), 7, 80},
    {QStringLiteral("RC pO2, %"), false, QStringLiteral("0.000"), 8, 80},
    {QStringLiteral("RC I, %"), false, QStringLiteral("0.000"), 11, 80},
    {QStringLiteral("Stable pO2"), false, QStringLiteral("0"), 9, 65},
    {QStringLiteral("Range pO2"), false, QStringLiteral("0"), 10, 65},
    {QStringLiteral("Stable I"), false, QStringLiteral("0"), 12, 55},
    {QStringLiteral("Step"), false, QStringLiteral("0"), 2, 40},
    {QStringLiteral("SP"), false, QStringLiteral("0"), 13, 30},
    {QStringLiteral("Time"), false, QStringLiteral("yyyy-mm-dd_hh:mm"), 14, 100},
    {QStringLiteral("Cell pO2P, atm"), false, QStringLiteral("0.000000E+00"), 15, 90},
}};

const RColInfo& ColumnOf(TProperty aProperty)
{
    return ColInfo[static_cast<int>(aProperty)];
}

} // namespace oxtiva
