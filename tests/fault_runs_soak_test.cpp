// A few minutes of each fault pattern against the whole program, with one-second data
// points, and a fault-free run first for the data point rate the others are held to.
// OXTIVA_SOAK_SECONDS sets the length of each run (default 180); OXTIVA_FAULT_PATTERNS,
// a comma-separated list of parts of pattern names, runs only the patterns that match one.
#include "support/fault_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

using oxtiva::testing::FaultScenarios;
using oxtiva::testing::RunFaultScenario;
using oxtiva::testing::TFaultRunFigures;

namespace
{

int RunSeconds()
{
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("OXTIVA_SOAK_SECONDS", &ok);
    return ok && seconds > 0 ? seconds : 180;
}

bool Chosen(const char* name)
{
    const QString wanted = qEnvironmentVariable("OXTIVA_FAULT_PATTERNS");
    if (wanted.isEmpty()) return true;
    const QStringList parts = wanted.split(QLatin1Char(','), Qt::SkipEmptyParts);
    return std::any_of(parts.cbegin(), parts.cend(), [&](const QString& part) {
        return QString::fromLatin1(name).contains(part.trimmed(), Qt::CaseInsensitive);
    });
}

void Report(const char* name, const TFaultRunFigures& figures)
{
    std::cout << name << ": " << figures.Summary().toStdString() << std::endl;
}

TEST(FaultSoak, EveryFaultPatternAgainstAFaultFreeRun)
{
    const TFaultRunFigures baseline = RunFaultScenario({{}, RunSeconds()});
    Report("FaultFree", baseline);
    ASSERT_TRUE(baseline.ran);
    EXPECT_EQ(baseline.misattributed, 0);
    EXPECT_EQ(baseline.valuesOutside, 0);
    ASSERT_GT(baseline.points, 0);

    for (const auto& scenario : FaultScenarios()) {
        if (!Chosen(scenario.name)) continue;
        SCOPED_TRACE(scenario.name);
        const TFaultRunFigures figures = RunFaultScenario({scenario.faultLines, RunSeconds()});
        Report(scenario.name, figures);
        std::cout << "  data point rate " << figures.pointsPerMinute / baseline.pointsPerMinute
                  << " of the fault-free run" << std::endl;
        ASSERT_TRUE(figures.ran);
        EXPECT_EQ(figures.misattributed, 0)
            << figures.misattributedExamples.join(" | ").toStdString();
        EXPECT_EQ(figures.valuesOutside, 0) << figures.outsideExamples.join(" | ").toStdString();
        EXPECT_LE(figures.longestStallMs, 250);
        if (scenario.repliesInTime)
            EXPECT_GE(figures.pointsPerMinute,
                      scenario.minimumPointRate * baseline.pointsPerMinute);
        else
            EXPECT_LE(figures.points, 1);
    }
}

} // namespace
