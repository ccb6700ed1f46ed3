#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace oxtiva
{

// Where the smallest and the largest value of a stretch of a series lie.
struct TExtrema {
    std::size_t Min = 0;
    std::size_t Max = 0;
};

// The smallest and largest value of every block of a series, in levels of blocks that grow
// by ExtremaFan, so the extremes of any stretch cost a walk over a few blocks of each level
// rather than over every value. It follows a series that only grows at its end; after
// any other change it is rebuilt. Costs about 24 / ExtremaFan bytes a value.
inline constexpr std::size_t ExtremaFan = 16;

class TExtremaIndex
{
  public:
    // Takes in the values appended since the last call (or since Rebuild).
    void Follow(std::span<const double> aValues);
    void Rebuild(std::span<const double> aValues);
    // Extremes of aValues[aFirst, aLast), aFirst < aLast; a NaN is neither unless all are.
    TExtrema Find(std::span<const double> aValues, std::size_t aFirst, std::size_t aLast) const;

  private:
    // The values beside their places: a walk over blocks then reads no scattered values.
    struct TBlock {
        double MinValue;
        double MaxValue;
        std::uint32_t Min;
        std::uint32_t Max;
    };
    std::vector<std::vector<TBlock>> fLevels; // level k: blocks of ExtremaFan^(k+1) values
};

// The points a line needs to cover the same pixels at a resolution of aColumns pixel
// columns over the keys [aLower, aUpper]: per column its smallest and its largest point,
// in their order, so the line runs through each column's whole height. The series'
// points in the span, with the one before and the one after it (the line runs on to the
// edge), are kept whole when they are no more than that. Keys must be sorted; the cost
// grows with aColumns and only by a logarithm with the series.
struct TPlotPoints {
    std::vector<double> Keys;
    std::vector<double> Values;
    bool PerColumn = false; // the span had more points than that: each column's extremes
};
TPlotPoints DecimateForColumns(std::span<const double> aKeys, std::span<const double> aValues,
                               const TExtremaIndex& aIndex, double aLower, double aUpper,
                               int aColumns);

} // namespace oxtiva
