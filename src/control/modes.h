#pragma once

#include <QString>
#include <cstdint>

namespace oxtiva {

// The program state chosen by the operator. For Paused to PPS the pump mode has the
// same ordinal; the ordinal is what a state row writes into the grid's Mode column.
enum class TProgramState : std::uint8_t {
    Uninitialized,
    Paused,
    ZeroCurrent,
    SetVoltage,
    PIDSet,
    PIDStep,
    PPS,
    ToExit
};

// The pump thread's working mode.
enum class TMode : std::uint8_t { Uninitialized, Paused, SetCurrent, SetVoltage, PIDSet, PIDStep, PPS };

// "Uninitialized", "Paused", "ZeroCurrent", ... as the status bar shows them.
QString ProgramStateName(TProgramState state);

// The states that run the step program line by line.
inline bool IsStepProgramState(TProgramState state)
{
    return state == TProgramState::PIDStep || state == TProgramState::PPS;
}

} // namespace oxtiva
