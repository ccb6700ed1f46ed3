#pragma once

#include "control/modes.h"
#include "control/step_progress.h"
#include "records/logging.h"

#include <optional>

namespace oxtiva
{

class TfrmOxtiva;

// Shows how far a running step program has come: the label above the list and the running
// step's line, highlighted without selecting it (a selection would load the line into the
// edits). When the program ends, the caption and the log say when.
class TStepProgramProgress
{
  public:
    explicit TStepProgramProgress(TfrmOxtiva& window);

    // Once per control-cycle pass; with no program running the label and highlight go.
    void Update();
    // The operator has chosen a step program; its first step begins once the pump thread
    // takes the new mode over, between two data points.
    void ProgramStarted();
    // The program has run past its last step and falls back to zero current.
    void ProgramEnded();
    // The program was stopped at a step it could not run; aWhy says which and why.
    void ProgramStopped(const QString& aWhy);
    // How much the current of grid row aRow changed over the RC duration (amperes, none
    // when unknown) against the change that counts as steady whatever the current.
    void NoteCurrentChange(int aRow, std::optional<double> aChangeA, double aFloorA);

  private:
    double SecondsInStep();
    std::optional<double> SecondsSettled();
    TStepWait WaitOfNewestRow() const;
    void Highlight(int aRow);

    TfrmOxtiva& fWindow;
    TLogger fLog{QStringLiteral("Form"), true};
    // The step start of the mode that ran before the program, until the pump thread
    // replaces it with the first step's.
    std::optional<double> fStaleStepStart;
    // The settled time changes only with a new grid row, so it is read from the grid then
    // and not on every pass.
    struct TSettledCache {
        int RowCount = -1;
        int StepIndex = -1;
        TProgramState State = TProgramState::Uninitialized;
        std::optional<double> Seconds;
    } fSettled;
    struct TCurrentChange {
        int Row = -1;
        std::optional<double> ChangeA;
        double FloorA = 0;
    } fCurrentChange;
};

} // namespace oxtiva
