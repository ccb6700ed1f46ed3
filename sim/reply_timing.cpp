#include "reply_timing.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace oxtiva::sim
{

std::optional<TDelaySpec> ParseDelaySpec(const std::string& text)
{
    const auto colon = text.find(':');
    const std::string msText = text.substr(0, colon);
    char* end = nullptr;
    errno = 0;
    const long ms = std::strtol(msText.c_str(), &end, 10);
    if (msText.empty() || *end != '\0' || errno != 0 || ms < 0 || ms > 600000) return std::nullopt;
    TDelaySpec spec{static_cast<int>(ms), 1};
    if (colon == std::string::npos) return spec;
    const std::string probabilityText = text.substr(colon + 1);
    errno = 0;
    spec.probability = std::strtod(probabilityText.c_str(), &end);
    if (probabilityText.empty() || *end != '\0' || errno != 0 || !std::isfinite(spec.probability) ||
        spec.probability < 0 || spec.probability > 1)
        return std::nullopt;
    return spec;
}

} // namespace oxtiva::sim
