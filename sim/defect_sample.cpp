#include "defect_sample.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <vector>

namespace oxtiva::sim
{

namespace
{

// The program's gas constant, so that its fit gives back the model's values exactly.
constexpr double GasConstant = 8.314;
constexpr double ZeroCelsiusK = 273.15;
// The highest cell temperature the model is asked to hold the sample stable at.
constexpr double HottestK = 2000;

} // namespace

double TDefectSample::EquilibriumDelta(double tempC, double lnPO2) const
{
    const double t = tempC + ZeroCelsiusK;
    const double delta =
        (GasConstant * t * lnPO2 / 2 - dh0JPerMol + t * ds0JPerMolK) / (dh1JPerMol - t * ds1JPerMolK);
    return std::clamp(delta, 0.0, 1.0);
}

std::optional<TDefectSample> ParseDefectSample(const std::string& text)
{
    std::vector<double> numbers;
    std::istringstream in(text);
    std::string part;
    while (std::getline(in, part, ':')) {
        char* end = nullptr;
        const double number = std::strtod(part.c_str(), &end);
        if (part.empty() || *end != '\0' || !std::isfinite(number)) return std::nullopt;
        numbers.push_back(number);
    }
    if (numbers.size() != 5 || !(numbers[0] > 0)) return std::nullopt;
    TDefectSample sample{numbers[0], numbers[1] * 1000, numbers[2] * 1000, numbers[3], numbers[4]};
    for (double t : {ZeroCelsiusK, HottestK})
        if (!(sample.dh1JPerMol - t * sample.ds1JPerMolK < 0)) return std::nullopt;
    return sample;
}

double FurnaceApproach(double tempC, double targetC, double dt, double timeConstantS)
{
    if (!(timeConstantS > 0)) return targetC;
    return targetC + (tempC - targetC) * std::exp(-dt / timeConstantS);
}

} // namespace oxtiva::sim
