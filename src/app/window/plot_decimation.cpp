#include "app/window/plot_decimation.h"

#include <algorithm>
#include <cmath>

namespace oxtiva
{

namespace
{

// A NaN is a gap in the line, never an extreme while a number is at hand.
bool Smaller(double a, double b)
{
    return a < b || (std::isnan(b) && !std::isnan(a));
}

bool Larger(double a, double b)
{
    return a > b || (std::isnan(b) && !std::isnan(a));
}

// The extremes found so far, with their values at hand.
struct TRunningExtrema {
    std::size_t Min;
    std::size_t Max;
    double MinValue;
    double MaxValue;

    void Take(std::size_t aMin, double aMinValue, std::size_t aMax, double aMaxValue)
    {
        if (Smaller(aMinValue, MinValue)) {
            Min = aMin;
            MinValue = aMinValue;
        }
        if (Larger(aMaxValue, MaxValue)) {
            Max = aMax;
            MaxValue = aMaxValue;
        }
    }
};

void AddPoint(TPlotPoints& aPoints, double aKey, double aValue)
{
    aPoints.Keys.push_back(aKey);
    aPoints.Values.push_back(aValue);
}

} // namespace

void TExtremaIndex::Follow(std::span<const double> aValues)
{
    if (fLevels.empty()) fLevels.emplace_back();
    for (std::size_t level = 0; level < fLevels.size(); ++level) {
        const std::size_t below = level == 0 ? aValues.size() : fLevels[level - 1].size();
        while ((fLevels[level].size() + 1) * ExtremaFan <= below) {
            const std::size_t first = fLevels[level].size() * ExtremaFan;
            TRunningExtrema e;
            if (level == 0) {
                e = {first, first, aValues[first], aValues[first]};
                for (std::size_t i = first + 1; i < first + ExtremaFan; ++i)
                    e.Take(i, aValues[i], i, aValues[i]);
            } else {
                const auto& blocks = fLevels[level - 1];
                const TBlock& b = blocks[first];
                e = {b.Min, b.Max, b.MinValue, b.MaxValue};
                for (std::size_t i = first + 1; i < first + ExtremaFan; ++i)
                    e.Take(blocks[i].Min, blocks[i].MinValue, blocks[i].Max, blocks[i].MaxValue);
            }
            fLevels[level].push_back(
                {e.MinValue, e.MaxValue, std::uint32_t(e.Min), std::uint32_t(e.Max)});
        }
        if (level + 1 == fLevels.size() && fLevels[level].size() >= ExtremaFan)
            fLevels.emplace_back();
    }
}

void TExtremaIndex::Rebuild(std::span<const double> aValues)
{
    fLevels.clear();
    Follow(aValues);
}

TExtrema TExtremaIndex::Find(std::span<const double> aValues, std::size_t aFirst,
                             std::size_t aLast) const
{
    TRunningExtrema found{aFirst, aFirst, aValues[aFirst], aValues[aFirst]};
    // Up the levels while the walk stands at the start of a larger block that ends inside
    // the stretch, down again near its end: a few steps of each level, each of them O(1).
    std::size_t level = 0; // a step covers ExtremaFan^level values
    std::size_t size = 1;
    const auto fits = [&](std::size_t aLevel, std::size_t aSize, std::size_t aAt) {
        return aAt % aSize == 0 && aAt + aSize <= aLast && aAt / aSize < fLevels[aLevel - 1].size();
    };
    for (std::size_t i = aFirst; i < aLast; i += size) {
        while (level < fLevels.size() && fits(level + 1, size * ExtremaFan, i)) {
            ++level;
            size *= ExtremaFan;
        }
        while (level > 0 && !fits(level, size, i)) {
            --level;
            size /= ExtremaFan;
        }
        if (level == 0) {
            found.Take(i, aValues[i], i, aValues[i]);
        } else {
            const TBlock& block = fLevels[level - 1][i / size];
            found.Take(block.Min, block.MinValue, block.Max, block.MaxValue);
        }
    }
    return {found.Min, found.Max};
}

TPlotPoints DecimateForColumns(std::span<const double> aKeys, std::span<const double> aValues,
                               const TExtremaIndex& aIndex, double aLower, double aUpper,
                               int aColumns)
{
    const std::size_t n = std::min(aKeys.size(), aValues.size());
    const auto keysBegin = aKeys.begin();
    const auto keysEnd = aKeys.begin() + n;
    const std::size_t first = std::lower_bound(keysBegin, keysEnd, aLower) - keysBegin;
    const std::size_t last = std::upper_bound(keysBegin + first, keysEnd, aUpper) - keysBegin;
    const std::size_t columns = std::size_t(std::max(aColumns, 1));

    TPlotPoints points;
    const std::size_t wholeFrom = first > 0 ? first - 1 : 0;
    const std::size_t wholeTo = last < n ? last + 1 : n;
    if (wholeTo - wholeFrom <= 2 * columns + 2) {
        points.Keys.assign(keysBegin + wholeFrom, keysBegin + wholeTo);
        points.Values.assign(aValues.begin() + wholeFrom, aValues.begin() + wholeTo);
        return points;
    }

    points.PerColumn = true;
    points.Keys.reserve(2 * columns + 2);
    points.Values.reserve(2 * columns + 2);
    if (first > 0) AddPoint(points, aKeys[first - 1], aValues[first - 1]);
    const double width = aUpper > aLower ? (aUpper - aLower) / double(columns) : 0;
    std::size_t begin = first;
    for (std::size_t column = 1; column <= columns && begin < last; ++column) {
        const std::size_t end =
            column == columns
                ? last
                : std::size_t(std::lower_bound(aKeys.begin() + begin, aKeys.begin() + last,
                                               aLower + width * double(column)) -
                              keysBegin);
        if (end == begin) continue;
        const TExtrema e = aIndex.Find(aValues, begin, end);
        const std::size_t earlier = std::min(e.Min, e.Max);
        const std::size_t later = std::max(e.Min, e.Max);
        AddPoint(points, aKeys[earlier], aValues[earlier]);
        if (later != earlier) AddPoint(points, aKeys[later], aValues[later]);
        begin = end;
    }
    if (last < n) AddPoint(points, aKeys[last], aValues[last]);
    return points;
}

} // namespace oxtiva
