#pragma once

namespace oxtiva
{

class TfrmOxtiva;

// The "Step program" group: the list ListBoxStepProgram is the program itself, one fixed-
// column line per step, edited through the −log(pO2) and millivolt edits. Edits take
// effect on the next control-cycle pass, also while the program runs.
class TStepProgramEditor
{
  public:
    explicit TStepProgramEditor(TfrmOxtiva& window);

    // "Apply to step program": replaces the selected line, or appends one without a
    // selection; the selection is cleared afterwards.
    void ButtonProgramPumpVoltageClick();
    // "Delete last step": a program always keeps at least one step.
    void ButtonProgramDeleteStepClick();
    // Loads the selected line into the two edits.
    void ListBoxStepProgramClick();

  private:
    TfrmOxtiva& fWindow;
};

} // namespace oxtiva
