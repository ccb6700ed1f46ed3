#include "fault_mode.h"

#include "scpi_command.h"

#include <array>
#include <utility>

namespace oxtiva::sim
{

namespace
{

constexpr const char* Terminator = "\r";

const std::array<std::pair<const char*, TFault>, 9> Names = {{
    {"none", TFault::None},
    {"no-reply", TFault::NoReply},
    {"junk", TFault::Junk},
    {"half", TFault::Half},
    {"overflow", TFault::Overflow},
    {"three-fields", TFault::ThreeFields},
    {"silent", TFault::Silent},
    {"front-inputs", TFault::FrontInputs},
    {"vanish", TFault::Vanish},
}};

} // namespace

std::optional<TFault> FaultFromName(const std::string& name)
{
    for (const auto& [text, fault] : Names)
        if (name == text) return fault;
    return std::nullopt;
}

bool FaultFits(TFault fault, bool isSourceMeter)
{
    if (fault == TFault::ThreeFields) return isSourceMeter;
    if (fault == TFault::FrontInputs) return !isSourceMeter;
    return true;
}

std::optional<std::string> ShapeReply(TFault fault, const TReply& reply, bool isSourceMeter)
{
    const bool reading = reply.kind == TReplyKind::Reading;
    switch (fault) {
    case TFault::NoReply:
    case TFault::Silent:
    case TFault::Vanish:
        return std::nullopt;
    case TFault::Junk:
        return std::string("#J?nk!x") + Terminator;
    case TFault::Half:
        return reply.text.substr(0, reply.text.size() / 2);
    case TFault::Overflow:
        // In the instruments' own reading format, as a real one writes it; the answers
        // before a reading in the same line (a place mark's) stay as they are.
        if (reading) {
            const auto last = reply.text.rfind(';');
            const std::string before =
                last == std::string::npos ? std::string() : reply.text.substr(0, last + 1);
            return before +
                   (isSourceMeter ? FormatSmuReading(OverflowValue, OverflowValue)
                                  : FormatDmmReading(OverflowValue)) +
                   Terminator;
        }
        break;
    case TFault::ThreeFields:
        if (reading) return reply.text + ",+0.000000E+00" + Terminator;
        break;
    case TFault::FrontInputs:
        if (reply.kind == TReplyKind::InputSwitch) return std::string("1") + Terminator;
        break;
    case TFault::None:
        break;
    }
    return reply.text + Terminator;
}

} // namespace oxtiva::sim
