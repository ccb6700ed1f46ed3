#include "instrument_link.h"

#include <algorithm>
#include <iostream>

namespace oxtiva::sim
{

TInstrumentLink::TInstrumentLink(std::string linkPath, TInstrument& instrument, bool isSourceMeter,
                                 TLinkTiming timing)
    : fLinkPath(std::move(linkPath)), fInstrument(instrument), fIsSourceMeter(isSourceMeter),
      fTiming(timing)
{
}

bool TInstrumentLink::Open(std::string& error)
{
    fSplitter.Clear();
    fPending.clear();
    return fEndpoint.Open(fLinkPath, error);
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

void TInstrumentLink::HandleLine(const std::string& line, TSimClock::time_point now)
{
    fLog.Record(line);
    if (!ExecutesCommands(fFault)) return;
    std::vector<TReply> replies;
    for (const TScpiCommand& command : ParseCommandLine(line)) {
        if (fInstrument.Execute(command, replies)) continue;
        ++fUnknown;
        if (Verbose)
            std::cerr << fInstrument.Name() << ": unknown command " << command.header << ' '
                      << command.parameter << std::endl;
    }
    // Several queries in one line answer together, separated by ";", as SCPI does.
    if (replies.empty()) return;
    TReply joined = replies.front();
    for (std::size_t i = 1; i < replies.size(); ++i)
        joined.text += ';' + replies[i].text;
    auto shaped = ShapeReply(fFault, joined, fIsSourceMeter);
    if (!shaped) return;
    auto due = now + std::chrono::milliseconds(fTiming.latencyMs);
    if (fTiming.modelWireTime) due += WireTime(line.size() + 1) + WireTime(shaped->size());
    // Replies leave in order: one cannot overtake the one before it on the wire.
    if (!fPending.empty()) due = std::max(due, fPending.back().due);
    fPending.push_back({due, *shaped});
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
        if (fEndpoint.ClientPresent()) fEndpoint.Write(fPending.front().bytes);
        fPending.pop_front();
    }
}

std::optional<TSimClock::time_point> TInstrumentLink::NextDue() const
{
    if (fPending.empty()) return std::nullopt;
    return fPending.front().due;
}

bool TInstrumentLink::SetFault(TFault fault, std::string& error)
{
    if (!FaultFits(fault, fIsSourceMeter)) {
        error = "fault not available on the " + std::string(fInstrument.Name());
        return false;
    }
    fFault = fault;
    if (fault == TFault::Vanish) {
        fPending.clear();
        fEndpoint.Close();
        return true;
    }
    if (!fEndpoint.IsOpen()) return Open(error);
    return true;
}

} // namespace oxtiva::sim
