#include "command_log.h"

#include <algorithm>

namespace oxtiva::sim
{

void TCommandLog::Record(const std::string& line)
{
    fLast = line;
    ++fLines;
    fHistory.push_back(line);
    if (fHistory.size() > HistoryLines) fHistory.pop_front();
    if (auto found = fCounts.find(line); found != fCounts.end())
        ++found->second;
    else if (fCounts.size() < MaxDistinct)
        fCounts.emplace(line, 1);
    else
        ++fOthers;
}

long long TCommandLog::Count(const std::string& prefix) const
{
    long long total = prefix.empty() ? fOthers : 0;
    // The map is ordered, so every text with this prefix follows lower_bound(prefix).
    for (auto it = fCounts.lower_bound(prefix);
         it != fCounts.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it)
        total += it->second;
    return total;
}

std::string TCommandLog::History(std::size_t n) const
{
    std::string joined;
    const std::size_t first = fHistory.size() - std::min(n, fHistory.size());
    for (std::size_t i = first; i < fHistory.size(); ++i)
        joined += (i == first ? "" : "\t") + fHistory[i];
    return joined;
}

} // namespace oxtiva::sim
