#pragma once

#include <optional>
#include <random>
#include <string>

namespace oxtiva::sim
{

// Timing faults of an instrument's replies, beside its fault mode: a reply that leaves
// late by a fixed delay (an instrument busy auto-ranging, an adapter's latency timer),
// and a reply that pauses half-way. Each strikes a reply with its own probability
// (1: every reply). The instrument works through its commands in order, so a late reply
// also delays the replies after it.
struct TReplyTiming {
    int lateMs = 0;
    double lateProbability = 0;
    int pauseMs = 0;
    double pauseProbability = 0;
};

struct TReplyDelay {
    int ms = 0;
    double probability = 1;
};

// "MS" or "MS:PROBABILITY" (0 to 1; without it every reply); nothing when unusable.
std::optional<TReplyDelay> ParseReplyDelay(const std::string& text);

// Gives timing its late-reply fault (late) or its paused-reply fault.
void SetReplyDelay(TReplyTiming& timing, bool late, const TReplyDelay& delay);

// Draws which replies a fault strikes, the same sequence for the same seed.
class TFaultDraw
{
  public:
    explicit TFaultDraw(unsigned long long seed) : fEngine(seed) {}
    bool Strikes(double probability)
    {
        if (probability <= 0) return false;
        if (probability >= 1) return true;
        return std::uniform_real_distribution<double>(0, 1)(fEngine) < probability;
    }

  private:
    std::mt19937_64 fEngine;
};

} // namespace oxtiva::sim
