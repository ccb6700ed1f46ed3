#include "control/modes.h"

namespace oxtiva {

QString ProgramStateName(TProgramState state)
{
    switch (state) {
    case TProgramState::Uninitialized: return QStringLiteral("Uninitialized");
    case TProgramState::Paused: return QStringLiteral("Paused");
    case TProgramState::ZeroCurrent: return QStringLiteral("ZeroCurrent");
    case TProgramState::SetVoltage: return QStringLiteral("SetVoltage");
    case TProgramState::PIDSet: return QStringLiteral("PIDSet");
    case TProgramState::PIDStep: return QStringLiteral("PIDStep");
    case TProgramState::PPS: return QStringLiteral("PPS");
    case TProgramState::ToExit: return QStringLiteral("ToExit");
    }
    return {};
}

} // namespace oxtiva
