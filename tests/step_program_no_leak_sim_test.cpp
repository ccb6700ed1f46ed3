// A PID step program over a cell without a leak at the default threshold of 0.5 %: the
// pump current settles near zero, whose relative change is noise over almost nothing. It
// counts as steady once its change is within the SourceMeter's resolution of the range
// that holds the limit, and the program advances.

#include "app/main_window.h"
#include "app/pages/oxygen_content.h"
#include "app/window/column_table.h"
#include "app/window/data_grid.h"
#include "app/window/numeric_edits.h"
#include "control/relative_change.h"
#include "support/oxygen_sim_run.h"

#include <QLabel>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <cmath>

using namespace oxtiva;
using oxtiva::testing::TOxygenSimRun;
using oxtiva::testing::TOxygenSimRunOptions;

namespace
{

TEST(StepProgramNoLeakSim, AdvancesOnceTheCurrentNearZeroChangesNoMoreThanTheFloor)
{
    TOxygenSimRunOptions options;
    options.SampleCapacityMol = 0;
    options.RCDurationS = 4;
    options.RCThresholdPercent = 0.5;
    TOxygenSimRun run(options);
    TfrmOxtiva& w = run.Window();
    const TStringGrid& grid = *w.StringGridData;
    const bool ended = run.RunStepProgram({1, 2}, 90000);
    EXPECT_TRUE(ended) << "the program waited at step " << w.State().StepIndex + 1 << ": "
                       << w.LabelStepProgress->text().toStdString();
    EXPECT_GE(w.OxygenContent().History().Isotherm().size(), ended ? 2u : 0u);

    // At least one step settled by the floor: its current changed by more than 0.5 % of
    // itself.
    const auto cell = [&grid](TProperty q, int row) { return grid.Cell(ColumnOf(q).ColID, row); };
    int byFloor = 0;
    for (int row = 2; row < grid.RowCount(); ++row) {
        double rc = 0;
        if (cell(TProperty::StableI, row) == "True" &&
            ParseGridNumber(cell(TProperty::RCI, row), rc) && std::abs(rc) >= 0.5)
            ++byFloor;
    }
    EXPECT_GT(byFloor, 0);
    EXPECT_TRUE(run.UnexpectedDialogs().isEmpty()) << run.UnexpectedDialogs().toStdString();
}

} // namespace
