#include "app/window/plot_decimation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

using namespace oxtiva;

namespace
{

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// A noisy reading one second apart, with a few gaps (NaN) and a few spikes.
struct TNoisySeries {
    std::vector<double> Keys;
    std::vector<double> Values;
    TExtremaIndex Index;

    explicit TNoisySeries(std::size_t aCount, unsigned aSeed = 7)
    {
        std::mt19937 random(aSeed);
        std::normal_distribution<double> noise(0, 1e-3);
        for (std::size_t i = 0; i < aCount; ++i) {
            Keys.push_back(double(i));
            double v = 0.1 + 1e-7 * double(i) + noise(random);
            if (i % 9973 == 5) v = NaN;
            if (i % 7919 == 3) v += 0.5;
            Values.push_back(v);
            Index.Follow(Values); // as the graph follows a growing run
        }
    }
};

TExtrema Brute(const std::vector<double>& aValues, std::size_t aFirst, std::size_t aLast)
{
    TExtrema e{aFirst, aFirst};
    for (std::size_t i = aFirst; i < aLast; ++i) {
        const double v = aValues[i];
        if (std::isnan(v)) continue;
        if (std::isnan(aValues[e.Min]) || v < aValues[e.Min]) e.Min = i;
        if (std::isnan(aValues[e.Max]) || v > aValues[e.Max]) e.Max = i;
    }
    return e;
}

TEST(ExtremaIndex, FindsTheSameExtremesAsAWalkOverEveryValue)
{
    TNoisySeries s(200000);
    TExtremaIndex rebuilt;
    rebuilt.Rebuild(s.Values);
    std::mt19937 random(11);
    std::uniform_int_distribution<std::size_t> at(0, s.Values.size() - 1);
    std::vector<std::pair<std::size_t, std::size_t>> stretches{
        {0, s.Values.size()}, {0, 1}, {5, 6} /* a NaN alone */, {4, 7}, {15, 17}, {16, 4096}};
    for (int i = 0; i < 300; ++i) {
        const std::size_t a = at(random), b = at(random);
        stretches.emplace_back(std::min(a, b), std::max(a, b) + 1);
    }
    for (const auto& [first, last] : stretches) {
        const TExtrema expected = Brute(s.Values, first, last);
        for (const TExtremaIndex* index : {&s.Index, &rebuilt}) {
            const TExtrema found = index->Find(s.Values, first, last);
            // Equal values may sit at other places; the value is what must agree.
            ASSERT_TRUE(found.Min >= first && found.Min < last) << first << ".." << last;
            ASSERT_TRUE(found.Max >= first && found.Max < last) << first << ".." << last;
            const auto same = [](double a, double b) {
                return a == b || (std::isnan(a) && std::isnan(b));
            };
            EXPECT_TRUE(same(s.Values[found.Min], s.Values[expected.Min])) << first << ".." << last;
            EXPECT_TRUE(same(s.Values[found.Max], s.Values[expected.Max])) << first << ".." << last;
        }
    }
}

struct TSpanCase {
    const char* Name;
    double Lower;
    double Upper;
    int Columns;
};

class Decimation : public ::testing::TestWithParam<TSpanCase>
{
  protected:
    static const TNoisySeries& Series()
    {
        static const TNoisySeries series(300000);
        return series;
    }
};

// Each pixel column must show the smallest and the largest value of its points, so the
// line drawn runs through the column's whole height as the whole series would.
TEST_P(Decimation, KeepsTheSmallestAndLargestPointOfEveryPixelColumn)
{
    const TSpanCase c = GetParam();
    const TNoisySeries& s = Series();
    const TPlotPoints p =
        DecimateForColumns(s.Keys, s.Values, s.Index, c.Lower, c.Upper, c.Columns);
    ASSERT_EQ(p.Keys.size(), p.Values.size());
    EXPECT_LE(p.Keys.size(), 2u * std::size_t(c.Columns) + 2);
    EXPECT_TRUE(std::is_sorted(p.Keys.begin(), p.Keys.end()));
    const auto first = std::lower_bound(s.Keys.begin(), s.Keys.end(), c.Lower) - s.Keys.begin();
    const auto last = std::upper_bound(s.Keys.begin(), s.Keys.end(), c.Upper) - s.Keys.begin();
    // Each kept point is a point of the series: its key is its index.
    for (std::size_t i = 0; i < p.Keys.size(); ++i) {
        const std::size_t at = std::size_t(p.Keys[i]);
        ASSERT_EQ(double(at), p.Keys[i]);
        EXPECT_TRUE(p.Values[i] == s.Values[at] || std::isnan(p.Values[i]));
    }
    // The line runs on from the point before the span to the one after it.
    if (first > 0) EXPECT_EQ(p.Keys.front(), s.Keys[first - 1]);
    if (std::size_t(last) < s.Keys.size()) EXPECT_EQ(p.Keys.back(), s.Keys[last]);

    const double width = (c.Upper - c.Lower) / c.Columns;
    std::size_t begin = first;
    for (int column = 1; column <= c.Columns; ++column) {
        std::size_t end = begin;
        while (end < std::size_t(last) &&
               (column == c.Columns || s.Keys[end] < c.Lower + width * column))
            ++end;
        if (end == begin) continue;
        const TExtrema e = Brute(s.Values, begin, end);
        const auto valueKept = [&](double v) {
            for (std::size_t i = 0; i < p.Keys.size(); ++i)
                if (p.Keys[i] >= s.Keys[begin] && p.Keys[i] <= s.Keys[end - 1] &&
                    (p.Values[i] == v || (std::isnan(v) && std::isnan(p.Values[i]))))
                    return true;
            return false;
        };
        EXPECT_TRUE(valueKept(s.Values[e.Min])) << "smallest of column " << column;
        EXPECT_TRUE(valueKept(s.Values[e.Max])) << "largest of column " << column;
        begin = end;
    }
}

INSTANTIATE_TEST_SUITE_P(Spans, Decimation,
                         ::testing::Values(TSpanCase{"WholeRun", 0, 299999, 800},
                                           TSpanCase{"ZoomedInside", 12345.5, 98765.25, 640},
                                           TSpanCase{"PannedPastTheEnd", 250000, 400000, 500},
                                           TSpanCase{"PannedBeforeTheStart", -50000, 1000, 300},
                                           TSpanCase{"OneColumn", 100, 90000, 1}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(Decimation, AZoomToAFewPointsKeepsEveryOneOfThemWithTheirNeighbours)
{
    TNoisySeries s(100000);
    const TPlotPoints p = DecimateForColumns(s.Keys, s.Values, s.Index, 5000.5, 5600, 800);
    ASSERT_EQ(p.Keys.size(), 602u); // 5001..5600 and the points at 5000 and 5601
    for (std::size_t i = 0; i < p.Keys.size(); ++i) {
        EXPECT_EQ(p.Keys[i], 5000.0 + double(i));
        EXPECT_EQ(p.Values[i], s.Values[5000 + i]);
    }
}

TEST(Decimation, ASpanWithoutPointsKeepsTheTwoAroundItAndNothingOutsideTheData)
{
    const std::vector<double> keys{0, 10, 20, 30};
    const std::vector<double> values{1, 2, 3, 4};
    TExtremaIndex index;
    index.Rebuild(values);
    const TPlotPoints between = DecimateForColumns(keys, values, index, 12, 18, 100);
    EXPECT_EQ(between.Keys, (std::vector<double>{10, 20}));
    EXPECT_TRUE(DecimateForColumns(keys, values, index, 40, 50, 100).Keys ==
                std::vector<double>{30});
    const std::vector<double> none;
    TExtremaIndex empty;
    empty.Rebuild(none);
    EXPECT_TRUE(DecimateForColumns(none, none, empty, 0, 1, 100).Keys.empty());
}

} // namespace
