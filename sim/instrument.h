#pragma once

#include "scpi_command.h"

#include <algorithm>
#include <cmath>
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
    // What a reading taken now would measure, for the reply log ("ch3 RES"); empty
    // where every reading measures the same.
    virtual std::string ReadingContext() const { return {}; }

    // Answers register queries signed and zero-padded ("+037"), as some instruments do.
    bool PaddedRegisterReplies = false;

  protected:
    // The event status enable register of IEEE 488.2 ("*ESE n", "*ESE?"): a value the
    // instrument keeps and echoes, which *RST leaves alone. False for other commands.
    bool ExecuteEventStatusEnable(const TScpiCommand& command, std::vector<TReply>& replies)
    {
        if (command.header == "*ESE?") {
            std::string text = std::to_string(fEventStatusEnable);
            if (PaddedRegisterReplies)
                text = '+' + std::string(3 - std::min<std::size_t>(text.size(), 3), '0') + text;
            replies.push_back({text, TReplyKind::Text});
            return true;
        }
        if (command.header != "*ESE") return false;
        auto value = NumericParameter(command.parameter, 0, 255, 0);
        if (!value || *value < 0 || *value > 255) return false;
        fEventStatusEnable = static_cast<int>(std::lround(*value));
        return true;
    }

  private:
    int fEventStatusEnable = 0;
};

} // namespace oxtiva::sim
