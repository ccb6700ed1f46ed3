#pragma once

#include <string>
#include <vector>

namespace oxtiva::sim
{

// Cuts a byte stream into command lines at CR or LF. Empty lines (the LF of a CR LF
// pair) are skipped; a line longer than the cap is cut so that a client sending
// endless junk cannot make the simulator grow without bound.
class TLineSplitter
{
  public:
    explicit TLineSplitter(std::size_t maxLine = 4096) : fMaxLine(maxLine) {}
    void Feed(const char* data, std::size_t size, std::vector<std::string>& lines);
    void Clear()
    {
        fPending.clear();
        fDiscarding = false;
    }

  private:
    std::size_t fMaxLine;
    std::string fPending;
    bool fDiscarding = false; // the rest of an over-long line is being dropped
};

} // namespace oxtiva::sim
