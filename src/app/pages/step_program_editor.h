#pragma once

#include "records/logging.h"

#include <QString>

namespace oxtiva
{

class TfrmOxtiva;

// The "Step program" group: the list ListBoxStepProgram is the program itself, one fixed-
// column line per step, edited through the −log(pO2) and millivolt edits. Edits take
// effect on the next control-cycle pass, also while the program runs. Programs are kept
// as ".steps" files, by default in "Userdata/Step programs".
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
    // "Save steps…": writes the list's lines to a file the operator chooses.
    void ButtonSaveStepsClick();
    // "Load steps…": replaces the list by a file's steps once every line of it reads back
    // as a step; a running program asks first.
    void ButtonLoadStepsClick();

    // Puts the steps of a ".steps" file beside a data file into the list; what it did, in a
    // sentence, or an empty text when there is no such file.
    QString TakeStepsBeside(const QString& aDataFilePath);

  private:
    QString RefusedEntries() const;
    void ShowRefusal(const QString& aText);
    QString ChooseFile(bool aSaving);
    QString StartFolder(bool aSaving) const;
    bool ConfirmReplace(const QString& aPath);
    bool ConfirmLoadWhileRunning(int aLoadedCount);
    void Warn(const QString& aText);

    TfrmOxtiva& fWindow;
    TLogger fLog{QStringLiteral("Form"), true};
    QString fLastFolder; // where the operator last saved or loaded a program
};

} // namespace oxtiva
