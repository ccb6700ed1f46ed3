#pragma once

#include "instrument.h"

#include <optional>
#include <string>

namespace oxtiva::sim
{

// Ways an instrument can misbehave on purpose, chosen by name at start or at run time.
enum class TFault { None, NoReply, Junk, Half, Overflow, ThreeFields, Silent, FrontInputs, Vanish };

std::optional<TFault> FaultFromName(const std::string& name);
// False for a fault that only the other instrument can show (three-fields: SMU only,
// front-inputs: DMM only).
bool FaultFits(TFault fault, bool isSourceMeter);

// Whether the instrument still executes the commands it receives.
inline bool ExecutesCommands(TFault fault)
{
    return fault != TFault::Silent;
}

// The bytes actually put on the line for a reply (terminator included when it is
// sent), or nothing when the fault swallows the reply.
std::optional<std::string> ShapeReply(TFault fault, const TReply& reply, bool isSourceMeter);

} // namespace oxtiva::sim
