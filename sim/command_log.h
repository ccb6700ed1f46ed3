#pragma once

#include <deque>
#include <map>
#include <string>

namespace oxtiva::sim
{

// What an instrument received, for the control channel's `count`, `last` and `history`.
// Lines are kept as distinct texts with their counts, so a run of days with a handful of
// different commands stays small; only the most recent lines are kept in order.
class TCommandLog
{
  public:
    void Record(const std::string& line);
    long long Count(const std::string& prefix) const;
    const std::string& Last() const { return fLast; }
    long long Lines() const { return fLines; } // every line received so far
    // The last n lines (at most HistoryLines), oldest first, joined by tabs.
    std::string History(std::size_t n) const;

    static constexpr std::size_t HistoryLines = 4096;

  private:
    // Beyond this many distinct texts new ones are only counted in fOthers (their
    // prefix cannot be matched any more); a real run never gets near it.
    static constexpr std::size_t MaxDistinct = 200000;

    std::map<std::string, long long> fCounts;
    long long fOthers = 0;
    std::string fLast;
    long long fLines = 0;
    std::deque<std::string> fHistory;
};

} // namespace oxtiva::sim
