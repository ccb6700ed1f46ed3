#pragma once

#include <cstdio>
#include <string>

namespace oxtiva::sim
{

// How a reply fared on the line.
enum class TReplyFate {
    InTime, // its last byte left before the instrument received another command line
    Late,   // another command line had arrived first: its asker had given up on it
    Lost,   // nobody held the line when it fell due
};

// Every reply the instruments gave, for tests that check which command each reading the
// program accepted answered. One tab-separated line per reply: instrument, number of the
// command line it answers (1 for the first line the instrument received), "in-time",
// "late" or "lost", what a reading measured ("ch3 RES"; "-" otherwise), the command line,
// the reply as sent without its terminator.
class TReplyLog
{
  public:
    TReplyLog() = default;
    ~TReplyLog();
    TReplyLog(const TReplyLog&) = delete;
    TReplyLog& operator=(const TReplyLog&) = delete;

    bool Open(const std::string& path, std::string& error);
    bool IsOpen() const { return fFile != nullptr; }
    void Record(const char* instrument, long long lineNumber, TReplyFate fate,
                const std::string& context, const std::string& command, const std::string& reply);

  private:
    std::FILE* fFile = nullptr;
};

// Writes a reply number into the last mantissa digits of a reading ("+1.234567E-01,..."),
// two digits per field from the lowest, four in a single-field reading, so that no two
// readings of a run are alike. Fields that are not in that form are left as they are.
std::string TagReading(const std::string& text, long long number);

} // namespace oxtiva::sim
