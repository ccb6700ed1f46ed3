#include "scpi_command.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace oxtiva::sim
{

namespace
{

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool IsVowel(char c)
{
    return c == 'A' || c == 'E' || c == 'I' || c == 'O' || c == 'U';
}

// Folds every ':'-separated mnemonic of a path onto its short form.
std::string ShortPath(const std::string& path)
{
    std::string result;
    std::size_t start = 0;
    while (start <= path.size()) {
        const auto end = std::min(path.find(':', start), path.size());
        if (!result.empty() || start > 0) result += ':';
        result += ShortMnemonic(path.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

std::vector<std::string> SplitUnquoted(const std::string& line, char separator)
{
    std::vector<std::string> parts(1);
    char quote = 0;
    for (char c : line) {
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == separator) {
            parts.emplace_back();
            continue;
        }
        parts.back() += c;
    }
    return parts;
}

std::optional<TScpiCommand> ParseUnit(const std::string& unit)
{
    const std::string text = Trimmed(unit);
    if (text.empty()) return std::nullopt;
    const auto blank = text.find_first_of(" \t");
    std::string header = Upper(text.substr(0, blank));
    TScpiCommand command;
    command.parameter = blank == std::string::npos ? std::string() : Trimmed(text.substr(blank));
    if (!header.empty() && header.front() == ':') header.erase(0, 1);
    const bool query = !header.empty() && header.back() == '?';
    if (query) header.pop_back();
    command.header = header.empty() || header.front() == '*' ? header : ShortPath(header);
    if (query) command.header += '?';
    return command;
}

} // namespace

std::string ShortMnemonic(const std::string& mnemonic)
{
    // A numeric suffix (SENS1, SOUR1) does not change the node.
    auto end = mnemonic.size();
    while (end > 0 && std::isdigit(static_cast<unsigned char>(mnemonic[end - 1])))
        --end;
    const std::string word = Upper(mnemonic.substr(0, end));
    if (word.size() <= 4) return word;
    return IsVowel(word[3]) ? word.substr(0, 3) : word.substr(0, 4);
}

std::vector<TScpiCommand> ParseCommandLine(const std::string& line)
{
    std::vector<TScpiCommand> commands;
    for (const std::string& unit : SplitUnquoted(line, ';'))
        if (auto command = ParseUnit(unit)) commands.push_back(*command);
    return commands;
}

std::string NormalizedWordPath(const std::string& parameter)
{
    std::string text = Trimmed(parameter);
    text.erase(
        std::remove_if(text.begin(), text.end(), [](char c) { return c == '"' || c == '\''; }),
        text.end());
    text = Trimmed(text);
    return text.empty() ? text : ShortPath(text);
}

std::optional<double> NumericParameter(const std::string& parameter, double minValue,
                                       double maxValue, double defaultValue)
{
    const std::string text = Upper(Trimmed(parameter));
    if (text == "MIN" || text == "MINIMUM") return minValue;
    if (text == "MAX" || text == "MAXIMUM") return maxValue;
    if (text == "DEF" || text == "DEFAULT") return defaultValue;
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || !end || *end != '\0' || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<bool> BooleanParameter(const std::string& parameter)
{
    const std::string text = Upper(Trimmed(parameter));
    if (text == "ON") return true;
    if (text == "OFF") return false;
    if (auto value = NumericParameter(text, 0, 1, 0)) return *value != 0;
    return std::nullopt;
}

std::optional<int> ChannelParameter(const std::string& parameter)
{
    const std::string text = Trimmed(parameter);
    if (text.size() < 4 || text.front() != '(' || text[1] != '@' || text.back() != ')')
        return std::nullopt;
    const std::string digits = text.substr(2, text.size() - 3);
    if (digits.empty() || digits.size() > 3 ||
        !std::all_of(digits.begin(), digits.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        return std::nullopt;
    return std::atoi(digits.c_str());
}

std::string FormatDmmReading(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%+.8E", value);
    return text;
}

std::string FormatSmuReading(double volts, double amperes)
{
    char text[64];
    std::snprintf(text, sizeof text, "%+.6E,%+.6E", volts, amperes);
    return text;
}

} // namespace oxtiva::sim
