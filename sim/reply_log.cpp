#include "reply_log.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

namespace oxtiva::sim
{

namespace
{

const char* FateName(TReplyFate fate)
{
    switch (fate) {
    case TReplyFate::InTime:
        return "in-time";
    case TReplyFate::Late:
        return "late";
    case TReplyFate::Lost:
        break;
    }
    return "lost";
}

// The position after the last mantissa digit of "+D.DDDDDDE+XX", or npos.
std::size_t MantissaEnd(const std::string& field)
{
    const auto e = field.find_first_of("Ee");
    if (e == std::string::npos || e < 3) return std::string::npos;
    const auto point = field.find('.');
    if (point == std::string::npos || point > e) return std::string::npos;
    for (std::size_t i = point + 1; i < e; ++i)
        if (!std::isdigit(static_cast<unsigned char>(field[i]))) return std::string::npos;
    return e;
}

void WriteDigits(std::string& field, long long value, int digits)
{
    const auto end = MantissaEnd(field);
    const auto point = field.find('.');
    if (end == std::string::npos || end - point - 1 < static_cast<std::size_t>(digits)) return;
    for (int i = 1; i <= digits; ++i) {
        field[end - i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

} // namespace

TReplyLog::~TReplyLog()
{
    if (fFile) std::fclose(fFile);
}

bool TReplyLog::Open(const std::string& path, std::string& error)
{
    fFile = std::fopen(path.c_str(), "w");
    if (!fFile) error = "cannot write reply log " + path + ": " + std::strerror(errno);
    return fFile != nullptr;
}

void TReplyLog::Record(const char* instrument, long long lineNumber, TReplyFate fate,
                       const std::string& context, const std::string& command,
                       const std::string& reply)
{
    if (!fFile) return;
    std::fprintf(fFile, "%s\t%lld\t%s\t%s\t%s\t%s\n", instrument, lineNumber, FateName(fate),
                 context.empty() ? "-" : context.c_str(), command.c_str(), reply.c_str());
    // A test reads the log while the simulator runs on; nothing may wait in a buffer.
    std::fflush(fFile);
}

std::string TagReading(const std::string& text, long long number)
{
    std::vector<std::string> fields(1);
    for (char c : text) {
        if (c == ',')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    const int digits = fields.size() == 1 ? 4 : 2;
    long long rest = number;
    std::string tagged;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        long long modulus = 1;
        for (int d = 0; d < digits; ++d)
            modulus *= 10;
        WriteDigits(fields[i], rest % modulus, digits);
        rest /= modulus;
        tagged += (i ? "," : "") + fields[i];
    }
    return tagged;
}

} // namespace oxtiva::sim
