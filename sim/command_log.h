#pragma once

#include <map>
#include <string>

namespace oxtiva::sim
{

// What an instrument received, for the control channel's `count` and `last`. Lines are
// kept as distinct texts with their counts, so a run of days with a handful of
// different commands stays small.
class TCommandLog
{
  public:
    void Record(const std::string& line);
    long long Count(const std::string& prefix) const;
    const std::string& Last() const { return fLast; }

  private:
    // Beyond this many distinct texts new ones are only counted in fOthers (their
    // prefix cannot be matched any more); a real run never gets near it.
    static constexpr std::size_t MaxDistinct = 200000;

    std::map<std::string, long long> fCounts;
    long long fOthers = 0;
    std::string fLast;
};

} // namespace oxtiva::sim
