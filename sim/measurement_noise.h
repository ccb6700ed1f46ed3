#pragma once

#include <random>

namespace oxtiva::sim
{

// Small Gaussian noise on every reading, the same sequence for the same seed so that a
// failing run can be repeated exactly.
class TMeasurementNoise
{
  public:
    TMeasurementNoise(unsigned long long seed, double scale) : fEngine(seed), fScale(scale) {}
    // A value around zero with the given standard deviation (times the scale).
    double Next(double sigma)
    {
        if (fScale == 0 || sigma == 0) return 0;
        return fScale * sigma * fNormal(fEngine);
    }

  private:
    std::mt19937_64 fEngine;
    std::normal_distribution<double> fNormal{0.0, 1.0};
    double fScale;
};

} // namespace oxtiva::sim
