#pragma once

#include "command_log.h"
#include "fault_mode.h"
#include "instrument.h"
#include "line_splitter.h"
#include "pty_endpoint.h"
#include "reply_log.h"
#include "reply_timing.h"

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace oxtiva::sim
{

using TSimClock = std::chrono::steady_clock;

// latencyMs: the instrument's time to answer. modelWireTime: commands arrive and replies
// leave at the line's baud rate, a few bytes at a time.
struct TLinkTiming {
    int latencyMs = 0;
    bool modelWireTime = false;
};

// One instrument on its serial line: receives command lines, has the instrument execute
// them, shapes the replies by the fault mode and the timing faults and sends each when it
// falls due. Commands are worked through in order: a reply cannot start before the one
// before it has left.
class TInstrumentLink
{
  public:
    TInstrumentLink(std::string linkPath, TInstrument& instrument, bool isSourceMeter,
                    TLinkTiming timing, unsigned long long seed);

    bool Open(std::string& error);
    void Close() { fEndpoint.Close(); }

    // Reads and executes what has arrived; beforeCommand runs before each command line
    // (the model is brought up to the moment of the command).
    void Receive(TSimClock::time_point now, const std::function<void()>& beforeCommand);
    void SendDueReplies(TSimClock::time_point now);
    std::optional<TSimClock::time_point> NextDue() const;

    // A line without a client reports hang-up all the time, so it is not polled but
    // looked at on a short timer.
    bool WorthPolling() const { return fEndpoint.IsOpen() && fEndpoint.ClientPresent(); }
    bool IsOpen() const { return fEndpoint.IsOpen(); }
    int Fd() const { return fEndpoint.Fd(); }

    // Sets the fault mode: "vanish" closes the line, any other mode reopens a vanished one.
    bool SetFault(TFault fault, std::string& error);
    TFault Fault() const { return fFault; }
    // Strikes each reply with the fault at this probability, while no fault mode is set;
    // probability 0 takes it away again.
    void SetFaultChance(TFault fault, double probability);

    // Command lines that contain text arrive but are not executed, as a line garbled on
    // its way that the instrument cannot parse; an empty text takes it back.
    void SetRefused(std::string text) { fRefused = std::move(text); }

    const TCommandLog& Log() const { return fLog; }
    TInstrument& Instrument() { return fInstrument; }
    // A second program opens the line and, if it gets through, sends "*RST".
    bool IntruderGetsThrough() const { return fEndpoint.SecondOpenerGetsThrough("*RST\r"); }
    long long UnknownCommands() const { return fUnknown; }
    bool Verbose = false;

    // Late and paused replies; see TReplyTiming.
    void SetReplyTiming(const TReplyTiming& timing) { fReplyTiming = timing; }
    const TReplyTiming& ReplyTiming() const { return fReplyTiming; }
    // Where every reply is recorded (may be none), and whether readings carry their reply
    // number in their last digits.
    void SetReplyLog(TReplyLog* log, bool tagReadings)
    {
        fReplyLog = log;
        fTagReadings = tagReadings;
    }

  private:
    // One piece of a reply on its way; a paused reply travels as two.
    struct TPending {
        TSimClock::time_point due;
        std::string bytes;
        bool last = true; // the reply's final piece, which settles its fate
        long long lineNumber = 0;
        std::string context;
        std::string command;
        std::string text; // the whole reply without terminator
    };

    void HandleLine(const std::string& line, TSimClock::time_point now);
    TSimClock::time_point CommandArrival(std::size_t bytes, TSimClock::time_point now);
    void Schedule(TPending reply, TSimClock::time_point arrived);
    TSimClock::time_point SendPaced(TPending piece, TSimClock::time_point start);
    void Settle(const TPending& piece, bool delivered);
    void DropPending();
    TSimClock::duration WireTime(std::size_t bytes) const;

    std::string fLinkPath;
    TInstrument& fInstrument;
    bool fIsSourceMeter;
    TLinkTiming fTiming;
    TPtyEndpoint fEndpoint;
    TLineSplitter fSplitter;
    TCommandLog fLog;
    TFault fFault = TFault::None;
    std::vector<std::pair<TFault, double>> fFaultChances;
    std::deque<TPending> fPending;
    TSimClock::time_point fBusyUntil{};
    TSimClock::time_point fCommandsArriveUntil{}; // when the last command has crossed the line
    long long fUnknown = 0;
    std::string fRefused;
    TReplyTiming fReplyTiming;
    TFaultDraw fDraw;
    TReplyLog* fReplyLog = nullptr;
    bool fTagReadings = false;
};

} // namespace oxtiva::sim
