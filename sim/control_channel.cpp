#include "control_channel.h"

#include "simulator.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace oxtiva::sim
{

namespace
{

// Splits off the first blank-separated word; the rest keeps its inner blanks.
std::string NextWord(std::string& rest)
{
    const auto start = rest.find_first_not_of(' ');
    if (start == std::string::npos) {
        rest.clear();
        return {};
    }
    const auto end = rest.find(' ', start);
    std::string word = rest.substr(start, end == std::string::npos ? end : end - start);
    rest = end == std::string::npos ? std::string() : rest.substr(end + 1);
    return word;
}

std::string AnswerFault(std::string rest, TSimulator& simulator)
{
    const std::string instrument = NextWord(rest);
    const std::string name = NextWord(rest);
    TInstrumentLink* link = simulator.Link(instrument);
    if (!link) return "error unknown instrument " + instrument;
    auto fault = FaultFromName(name);
    if (!fault || !rest.empty()) return "error unknown fault " + name;
    std::string error;
    if (!link->SetFault(*fault, error)) return "error " + error;
    return "ok";
}

// "late smu 600 0.02", "pause dmm 40": a timing fault of the instrument's replies.
std::string AnswerReplyTiming(const std::string& verb, std::string rest, TSimulator& simulator)
{
    const std::string instrument = NextWord(rest);
    TInstrumentLink* link = simulator.Link(instrument);
    if (!link) return "error unknown instrument " + instrument;
    std::string delayText = NextWord(rest);
    const std::string probability = NextWord(rest);
    if (!probability.empty()) delayText += ':' + probability;
    const auto delay = ParseReplyDelay(delayText);
    if (!delay || !rest.empty()) return "error bad " + verb + " " + delayText;
    TReplyTiming timing = link->ReplyTiming();
    SetReplyDelay(timing, verb == "late", *delay);
    link->SetReplyTiming(timing);
    return "ok";
}

std::string AnswerHistory(std::string rest, TSimulator& simulator)
{
    TInstrumentLink* link = simulator.Link(NextWord(rest));
    const std::string count = NextWord(rest);
    char* end = nullptr;
    const unsigned long n = std::strtoul(count.c_str(), &end, 10);
    if (!link || count.empty() || *end != '\0' || !rest.empty()) return "error bad history request";
    return link->Log().History(n);
}

std::string AnswerCount(std::string rest, TSimulator& simulator)
{
    // The prefix is everything after "count smu ", blanks and quotes included.
    const std::string instrument = NextWord(rest);
    TInstrumentLink* link = simulator.Link(instrument);
    if (!link) return "error unknown instrument " + instrument;
    return std::to_string(link->Log().Count(rest));
}

std::string AnswerSet(std::string rest, TSimulator& simulator)
{
    const std::string what = NextWord(rest);
    const std::string text = NextWord(rest);
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value) || !rest.empty())
        return "error bad value " + text;
    simulator.AdvanceModel();
    if (what == "temp" && value > -273.15)
        simulator.Cell().SetTempC(value);
    else if (what == "furnace" && value > -273.15)
        simulator.Cell().SetFurnaceC(value);
    else if (what == "cold" && value > -273.15)
        simulator.Cell().SetColdC(value);
    else if (what == "po2" && value > 0)
        simulator.Cell().SetPO2(value);
    else
        return "error cannot set " + what + " to " + text;
    return "ok";
}

// The line held against others, and register replies of another style:
// "intrude smu" answers "sent" when a second opener got through and sent "*RST",
// "refused" when the line was held; "registers dmm padded|plain".
std::string AnswerHeldLine(const std::string& verb, std::string rest, TSimulator& simulator)
{
    TInstrumentLink* link = simulator.Link(NextWord(rest));
    const std::string style = NextWord(rest);
    if (!link || !rest.empty()) return "error bad " + verb + " request";
    if (verb == "intrude") return style.empty() && link->IntruderGetsThrough() ? "sent" : "refused";
    if (style != "padded" && style != "plain") return "error unknown style " + style;
    link->Instrument().PaddedRegisterReplies = style == "padded";
    return "ok";
}

// "chance smu junk 0.05": a fault that strikes single replies at random.
std::string AnswerFaultChance(std::string rest, TSimulator& simulator)
{
    TInstrumentLink* link = simulator.Link(NextWord(rest));
    const auto fault = FaultFromName(NextWord(rest));
    const std::string text = NextWord(rest);
    char* end = nullptr;
    const double probability = std::strtod(text.c_str(), &end);
    if (!link || !fault || text.empty() || *end != '\0' ||
        !(probability >= 0 && probability <= 1) || !rest.empty() || *fault == TFault::Vanish ||
        *fault == TFault::Silent)
        return "error bad chance request";
    link->SetFaultChance(*fault, probability);
    return "ok";
}

// "refuse smu :SOUR:FUNC VOLT": lines with that text are not executed; "refuse smu" alone
// takes it back.
std::string AnswerRefuse(std::string rest, TSimulator& simulator)
{
    TInstrumentLink* link = simulator.Link(NextWord(rest));
    if (!link) return "error bad refuse request";
    const auto start = rest.find_first_not_of(' ');
    link->SetRefused(start == std::string::npos ? std::string() : rest.substr(start));
    return "ok";
}

} // namespace

std::string AnswerControlLine(const std::string& line, TSimulator& simulator)
{
    std::string rest = line;
    const std::string verb = NextWord(rest);
    if (verb == "fault") return AnswerFault(rest, simulator);
    if (verb == "count") return AnswerCount(rest, simulator);
    if (verb == "state" && rest.find_first_not_of(' ') == std::string::npos)
        return simulator.StateLine();
    if (verb == "set") return AnswerSet(rest, simulator);
    if (verb == "late" || verb == "pause") return AnswerReplyTiming(verb, rest, simulator);
    if (verb == "history") return AnswerHistory(rest, simulator);
    if (verb == "oxygen" && rest.find_first_not_of(' ') == std::string::npos)
        return simulator.OxygenLine();
    if (verb == "intrude" || verb == "registers") return AnswerHeldLine(verb, rest, simulator);
    if (verb == "chance") return AnswerFaultChance(rest, simulator);
    if (verb == "refuse") return AnswerRefuse(rest, simulator);
    if (verb == "last") {
        TInstrumentLink* link = simulator.Link(NextWord(rest));
        if (link && rest.empty()) return link->Log().Last();
    }
    return "error unknown control line: " + line;
}

} // namespace oxtiva::sim
