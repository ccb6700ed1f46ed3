#pragma once

#include "records/data_file_settings.h"

#include <QString>
#include <QStringList>

class QWidget;

namespace oxtiva
{

class TfrmOxtiva;

// Puts an experiment's settings, read from one of its data files, into the "Experiment
// data" edits, the sample's names and the notes, so a run continued after a crash or
// repeated later starts from the operator's constants rather than the defaults. A value
// an edit cannot hold is left as the edit has it and named in the result.
QStringList ApplyExperimentSettings(TfrmOxtiva& window, const TDataFileSettings& settings);

// Reads the data file and applies its settings, and the step program saved beside it;
// false with the reason when the file cannot be read as a data file. notTaken names the
// values that were left as they were; stepsOutcome says what became of the step list.
bool TakeExperimentSettings(TfrmOxtiva& window, const QString& dataFilePath, QStringList& notTaken,
                            QString& errorText, QString* stepsOutcome = nullptr);

// The operator's way to it: chooses a data file, takes its settings and says what happened.
void ChooseAndTakeExperimentSettings(TfrmOxtiva& window);

// Asks after a recovery whether the recovered file's settings are to be taken; a yes takes
// them.
void OfferRecoveredSettings(TfrmOxtiva& window, const QString& recoveredFile,
                            const QString& sampleShown);

// The offer's text, with the warning that the pump may still be sourcing.
QString RecoveredSettingsOfferText(const QString& recoveredFile, const QString& sampleShown);

} // namespace oxtiva
