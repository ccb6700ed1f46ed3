#include "app/plot_decimation.h"

#include <algorithm>
#include <array>
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

void Merge(std::span<const double> aValues, TExtrema& aInto, std::size_t aMin, std::size_t aMax)
{
    if (Smaller(aValues[aMin], aValues[aInto.Min])) aInto.Min = aMin;
    if (Larger(aValues[aMax], aValues[aInto.Max])) aInto.Max = aMax;
}

std::size_t BlockSize(std::size_t aLevel)
{
    std::size_t size = ExtremaFan;
    for (std::size_t k = 0; k < aLevel; ++k)
        size *= ExtremaFan;
    return size;
}

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
            TExtrema e;
            if (level == 0) {
                e = {first, first};
                for (std::size_t i = first + 1; i < first + ExtremaFan; ++i)
                    Merge(aValues, e, i, i);
            } else {
                const auto& blocks = fLevels[level - 1];
                e = {blocks[first].Min, blocks[first].Max};
                for (std::size_t i = first + 1; i < first + ExtremaFan; ++i)
                    Merge(aValues, e, blocks[i].Min, blocks[i].Max);
            }
            fLevels[level].push_back({std::uint32_t(e.Min), std::uint32_t(e.Max)});
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
    TExtrema found{aFirst, aFirst};
    std::size_t i = aFirst;
    while (i < aLast) {
        // The largest summarised block that starts here and ends inside the stretch.
        std::size_t step = 1;
        const TBlock* block = nullptr;
        for (std::size_t level = 0; level < fLevels.size(); ++level) {
            const std::size_t size = BlockSize(level);
            if (i % size != 0 || i + size > aLast || i / size >= fLevels[level].size()) break;
            step = size;
            block = &fLevels[level][i / size];
        }
        if (block)
            Merge(aValues, found, block->Min, block->Max);
        else
            Merge(aValues, found, i, i);
        i += step;
    }
    return found;
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
    if (wholeTo - wholeFrom <= 4 * columns) {
        points.Keys.assign(keysBegin + wholeFrom, keysBegin + wholeTo);
        points.Values.assign(aValues.begin() + wholeFrom, aValues.begin() + wholeTo);
        return points;
    }

    points.Keys.reserve(4 * columns + 2);
    points.Values.reserve(4 * columns + 2);
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
        std::array<std::size_t, 4> picked{begin, e.Min, e.Max, end - 1};
        std::sort(picked.begin(), picked.end());
        const auto unique = std::unique(picked.begin(), picked.end());
        for (auto it = picked.begin(); it != unique; ++it)
            AddPoint(points, aKeys[*it], aValues[*it]);
        begin = end;
    }
    if (last < n) AddPoint(points, aKeys[last], aValues[last]);
    return points;
}

} // namespace oxtiva
