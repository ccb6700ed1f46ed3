#include "reply_timing.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace oxtiva::sim
{

std::optional<TReplyDelay> ParseReplyDelay(const std::string& text)
{
    const auto colon = text.find(':');
    const std::string msText = text.substr(0, colon);
    char* end = nullptr;
    errno = 0;
    const long ms = std::strtol(msText.c_str(), &end, 10);
    if (msText.empty() || *end != '\0' || errno != 0 || ms < 0 || ms > 600000) return std::nullopt;
    TReplyDelay delay{static_cast<int>(ms), 1};
    if (colon == std::string::npos) return delay;
    const std::string probabilityText = text.substr(colon + 1);
    errno = 0;
    delay.probability = std::strtod(probabilityText.c_str(), &end);
    if (probabilityText.empty() || *end != '\0' || errno != 0 ||
        !std::isfinite(delay.probability) || delay.probability < 0 || delay.probability > 1)
        return std::nullopt;
    return delay;
}

void SetReplyDelay(TReplyTiming& timing, bool late, const TReplyDelay& delay)
{
    (late ? timing.lateMs : timing.pauseMs) = delay.ms;
    (late ? timing.lateProbability : timing.pauseProbability) = delay.probability;
}

} // namespace oxtiva::sim
