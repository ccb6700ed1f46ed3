#pragma once

#include "scpi_command.h"

#include <string>
#include <vector>

namespace oxtiva::sim
{

// What a reply is, so that a fault mode can spoil the right ones.
enum class TReplyKind { Text, Reading, InputSwitch };

struct TReply {
    std::string text; // without terminator
    TReplyKind kind = TReplyKind::Text;
};

// One simulated bench instrument: executes parsed commands and produces the replies of
// queries.
class TInstrument
{
  public:
    virtual ~TInstrument() = default;
    virtual const char* Name() const = 0;
    virtual int BaudRate() const = 0;
    // False for a command the instrument does not know; it is then ignored.
    virtual bool Execute(const TScpiCommand& command, std::vector<TReply>& replies) = 0;
};

} // namespace oxtiva::sim
