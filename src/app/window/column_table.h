#pragma once

#include <QString>
#include <array>
#include <cstdint>

namespace oxtiva
{

// The data quantities, one per grid column, in table order.
enum class TProperty : std::uint8_t {
    Mode,
    Time,
    PumpV,
    PumpI,
    CellpO2,
    Temp,
    FlushpO2,
    RCpO2,
    RCI,
    StablepO2,
    RangepO2,
    StableI,
    Step,
    SetPoint,
    Date,
    CellpO2P
};

inline constexpr int PropertyCount = 16;

// Data rows carry the pump mode plus 10; state rows the program state's ordinal, below it.
inline constexpr int FirstDataPointModeCode = 10;

// One grid column: its caption, the picture pattern of its cells, its column index (a
// negative index would hide the quantity) and its width in pixels. Time is unused.
struct RColInfo {
    QString Caption;
    bool Time = false;
    QString Format;
    int ColID = -1;
    int ColWidth = 0;
};

// The column table, indexed by TProperty; it never changes while the program runs.
extern const std::array<RColInfo, PropertyCount> ColInfo;

// ColInfo[aProperty]; every access to a quantity's cell goes through it.
const RColInfo& ColumnOf(TProperty aProperty);

} // namespace oxtiva
