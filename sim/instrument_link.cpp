#include "instrument_link.h"

#include <algorithm>
#include <iostream>

namespace oxtiva::sim
{

TInstrumentLink::TInstrumentLink(std::string linkPath, TInstrument& instrument, bool isSourceMeter,
                                 TLinkTiming timing, unsigned long long seed)
    : fLinkPath(std::move(linkPath)), fInstrument(instrument), fIsSourceMeter(isSourceMeter),
      fTiming(timing), fDraw(seed)
{
}

bool TInstrumentLink::Open(std::string& error)
{
    fSplitter.Clear();
    DropPending();
    return fEndpoint.Open(fLinkPath, error);
}

// Replies still on their way never reach anyone: the line they were due on is gone.
void TInstrumentLink::DropPending()
{
    for (const TPending& piece : fPending)
        Settle(piece, false);
    fPending.clear();
}

void TInstrumentLink::Receive(TSimClock::time_point now, const std::function<void()>& beforeCommand)
{
    std::string bytes;
    if (!fEndpoint.ReadAvailable(bytes)) return;
    std::vector<std::string> lines;
    fSplitter.Feed(bytes.data(), bytes.size(), lines);
    for (const std::string& line : lines) {
        beforeCommand();
        HandleLine(line, now);
    }
}

// A command line is all there only once its bytes have crossed the line behind the ones
// before it; the terminator counts too.
TSimClock::time_point TInstrumentLink::CommandArrival(std::size_t bytes, TSimClock::time_point now)
{
    if (!fTiming.modelWireTime) return now;
    fCommandsArriveUntil = std::max(now, fCommandsArriveUntil) + WireTime(bytes);
    return fCommandsArriveUntil;
}

void TInstrumentLink::HandleLine(const std::string& line, TSimClock::time_point now)
{
    fLog.Record(line);
    const TSimClock::time_point arrived = CommandArrival(line.size() + 1, now);
    if (!ExecutesCommands(fFault)) return;
    if (!fRefused.empty() && line.find(fRefused) != std::string::npos) {
        ++fUnknown;
        return;
    }
    std::vector<TReply> replies;
    for (const TScpiCommand& command : ParseCommandLine(line)) {
        if (fInstrument.Execute(command, replies)) continue;
        ++fUnknown;
        if (Verbose)
            std::cerr << fInstrument.Name() << ": unknown command " << command.header << ' '
                      << command.parameter << std::endl;
    }
    // Several queries in one line answer together, separated by ";", as SCPI does; the
    // line's reply is a reading when one of them is (a reading that rides behind a mark).
    if (replies.empty()) return;
    for (TReply& reply : replies)
        if (fTagReadings && reply.kind == TReplyKind::Reading)
            reply.text = TagReading(reply.text, fLog.Lines());
    TReply joined = replies.front();
    for (std::size_t i = 1; i < replies.size(); ++i) {
        joined.text += ';' + replies[i].text;
        if (replies[i].kind == TReplyKind::Reading) joined.kind = TReplyKind::Reading;
    }
    TFault fault = fFault;
    for (const auto& [chance, probability] : fFaultChances)
        if (fault == TFault::None && fDraw.Strikes(probability)) fault = chance;
    auto shaped = ShapeReply(fault, joined, fIsSourceMeter);
    if (!shaped) return;
    TPending reply;
    reply.bytes = *shaped;
    reply.lineNumber = fLog.Lines();
    reply.context = joined.kind == TReplyKind::Reading ? fInstrument.ReadingContext() : "";
    reply.command = line;
    reply.text = shaped->substr(0, shaped->find_last_not_of('\r') + 1);
    Schedule(std::move(reply), arrived);
}

// The instrument starts on a command once it has all of it and has sent the reply before;
// a late reply therefore holds up every reply after it, as on a real instrument.
void TInstrumentLink::Schedule(TPending reply, TSimClock::time_point arrived)
{
    auto ready = std::max(arrived, fBusyUntil) + std::chrono::milliseconds(fTiming.latencyMs);
    if (fDraw.Strikes(fReplyTiming.lateProbability))
        ready += std::chrono::milliseconds(fReplyTiming.lateMs);
    const bool paused = reply.bytes.size() >= 2 && fDraw.Strikes(fReplyTiming.pauseProbability);
    if (paused) {
        TPending head = reply;
        head.bytes = reply.bytes.substr(0, reply.bytes.size() / 2);
        head.last = false;
        reply.bytes.erase(0, head.bytes.size());
        ready = SendPaced(std::move(head), ready) + std::chrono::milliseconds(fReplyTiming.pauseMs);
    }
    fBusyUntil = SendPaced(std::move(reply), ready);
}

// With the wire modelled, a reply leaves a few bytes at a time at the line's speed, as
// from a UART, instead of landing whole once its last byte is due. Returns when the
// piece has left.
TSimClock::time_point TInstrumentLink::SendPaced(TPending piece, TSimClock::time_point start)
{
    if (!fTiming.modelWireTime) {
        piece.due = start;
        fPending.push_back(std::move(piece));
        return start;
    }
    // About 2 ms of the line per chunk.
    const std::size_t chunk = std::max<std::size_t>(1, fInstrument.BaudRate() / 5000);
    std::size_t sent = 0;
    while (sent < piece.bytes.size()) {
        TPending part = piece;
        part.bytes = piece.bytes.substr(sent, chunk);
        sent += part.bytes.size();
        part.last = piece.last && sent >= piece.bytes.size();
        part.due = start + WireTime(sent);
        fPending.push_back(std::move(part));
    }
    return start + WireTime(piece.bytes.size());
}

void TInstrumentLink::Settle(const TPending& piece, bool delivered)
{
    if (!piece.last || !fReplyLog) return;
    const TReplyFate fate = !delivered                        ? TReplyFate::Lost
                            : fLog.Lines() > piece.lineNumber ? TReplyFate::Late
                                                              : TReplyFate::InTime;
    fReplyLog->Record(fInstrument.Name(), piece.lineNumber, fate, piece.context, piece.command,
                      piece.text);
}

TSimClock::duration TInstrumentLink::WireTime(std::size_t bytes) const
{
    const double seconds = 10.0 * static_cast<double>(bytes) / fInstrument.BaudRate();
    return std::chrono::duration_cast<TSimClock::duration>(std::chrono::duration<double>(seconds));
}

void TInstrumentLink::SendDueReplies(TSimClock::time_point now)
{
    while (!fPending.empty() && fPending.front().due <= now) {
        // Without a client the bytes would wait in the line for the next one, which
        // would then read a stale answer; a real instrument's reply is simply lost.
        const bool delivered = fEndpoint.ClientPresent();
        if (delivered) fEndpoint.Write(fPending.front().bytes);
        Settle(fPending.front(), delivered);
        fPending.pop_front();
    }
}

std::optional<TSimClock::time_point> TInstrumentLink::NextDue() const
{
    if (fPending.empty()) return std::nullopt;
    return fPending.front().due;
}

void TInstrumentLink::SetFaultChance(TFault fault, double probability)
{
    std::erase_if(fFaultChances, [fault](const auto& chance) { return chance.first == fault; });
    if (probability > 0) fFaultChances.emplace_back(fault, probability);
}

bool TInstrumentLink::SetFault(TFault fault, std::string& error)
{
    if (!FaultFits(fault, fIsSourceMeter)) {
        error = "fault not available on the " + std::string(fInstrument.Name());
        return false;
    }
    fFault = fault;
    if (fault == TFault::Vanish) {
        DropPending();
        fEndpoint.Close();
        return true;
    }
    if (!fEndpoint.IsOpen()) return Open(error);
    return true;
}

} // namespace oxtiva::sim
