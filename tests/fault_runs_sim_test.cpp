// Short runs of the whole program against instruments whose replies come late or pause
// half-way: no reading may be taken from another command's reply, and the grid holds
// only values the cell really had. The long runs with the speed figures are in
// fault_runs_soak_test.cpp.
#include "support/fault_run.h"
#include "support/qstring_printer.h"

#include <gtest/gtest.h>

#include <iostream>

using oxtiva::testing::FaultScenarios;
using oxtiva::testing::RunFaultScenario;
using oxtiva::testing::TFaultScenario;

namespace
{

class FaultRun : public ::testing::TestWithParam<TFaultScenario>
{
};

TEST_P(FaultRun, NoReadingIsTakenFromAnotherCommandsReply)
{
    const TFaultScenario& scenario = GetParam();
    const auto figures = RunFaultScenario({scenario.faultLines, 15});
    std::cout << scenario.name << ": " << figures.Summary().toStdString() << std::endl;
    ASSERT_TRUE(figures.ran);
    EXPECT_EQ(figures.misattributed, 0) << figures.misattributedExamples.join(" | ").toStdString();
    EXPECT_EQ(figures.valuesOutside, 0) << figures.outsideExamples.join(" | ").toStdString();
    if (scenario.repliesInTime) {
        EXPECT_GT(figures.smuReadings, 100);
        EXPECT_GT(figures.dmmReadings, 30);
        EXPECT_GE(figures.points, 5); // the rate is held in the long runs
    } else {
        // At most the exchange under way on each line when the faults began.
        EXPECT_LE(figures.smuReadings, 1);
        EXPECT_LE(figures.dmmReadings, 1);
        EXPECT_LE(figures.points, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, FaultRun, ::testing::ValuesIn(FaultScenarios()),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
