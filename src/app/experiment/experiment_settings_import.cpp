#include "app/experiment/experiment_settings_import.h"

#include "app/experiment/experiment_saver.h"

#include "app/main_window.h"
#include "app/pages/step_program_editor.h"
#include "app/window/numeric_edits.h"
#include "records/logging.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include <array>

namespace oxtiva
{

namespace
{

constexpr int SensorIdRow = 11;
constexpr int DataPointLengthRow = 27;
constexpr int LeakAlphaRow = 29;

// The edit behind each VARIABLES row the operator sets. None for the sensor ID (a text),
// for the sample results Vs, n0, nO0, mO0, mM and Vhp (computed from the others again) and
// for the second flush-gas row, which repeats the first.
std::array<TRtDoubleEdit*, DataFileVariableCount> RowEdits(const TfrmOxtiva& w)
{
    auto edits = DataFileVariableEdits(w);
    for (const int derivedRow : {6, 7, 8, 9, 10, 15, 28})
        edits[derivedRow] = nullptr;
    return edits;
}

// The abbreviation or field name a row is known by, for the list of values not taken.
QString RowName(int row)
{
    const QStringList fields = QString::fromLatin1(DataFileVariableTail(row)).split(u';');
    const QString abbreviation = fields.value(2).trimmed();
    return abbreviation.isEmpty() ? fields.value(3).trimmed() : abbreviation;
}

// A value is taken as if the operator typed it: one the edit would refuse stays out.
bool TakeValue(TRtDoubleEdit& edit, const QString& text)
{
    double value = 0;
    if (!ParseTypedDouble(text, value) || edit.Refusal(value)) return false;
    edit.setValue(value);
    return true;
}

// Files written before the leakage row held alpha repeat the data-point length in it;
// such a row says nothing about alpha.
bool RowHoldsAlpha(const TDataFileSettings& settings)
{
    return settings.VariableValues[LeakAlphaRow] != settings.VariableValues[DataPointLengthRow];
}

} // namespace

QStringList ApplyExperimentSettings(TfrmOxtiva& w, const TDataFileSettings& settings)
{
    QStringList notTaken;
    w.EditSampleName->setText(settings.SampleName);
    w.EditSampleFormula->setText(settings.SampleFormula);
    w.EditSensorID->setText(settings.VariableValues[SensorIdRow]);
    w.MemoNotes->setPlainText(settings.Notes);
    const auto edits = RowEdits(w);
    for (int row = 0; row < DataFileVariableCount; ++row) {
        TRtDoubleEdit* edit = edits[row];
        if (!edit || (row == LeakAlphaRow && !RowHoldsAlpha(settings))) continue;
        // The pump limits and the data-point length are fixed once the SourceMeter's thread
        // runs.
        if (!edit->isEnabled()) {
            double value = 0;
            if (!ParseTypedDouble(settings.VariableValues[row], value) || value != edit->value())
                notTaken << QStringLiteral("%1 (fixed while the SourceMeter is validated)")
                                .arg(RowName(row));
            continue;
        }
        if (!TakeValue(*edit, settings.VariableValues[row]))
            notTaken << QStringLiteral("%1 ('%2')").arg(RowName(row), settings.VariableValues[row]);
    }
    w.SampleCalculations();
    return notTaken;
}

bool TakeExperimentSettings(TfrmOxtiva& window, const QString& dataFilePath, QStringList& notTaken,
                            QString& errorText, QString* stepsOutcome)
{
    QFile file(dataFilePath);
    if (!file.open(QIODevice::ReadOnly)) {
        errorText = file.errorString();
        return false;
    }
    // Only the head is read: a month's file, the program's own recovered one included, is
    // as much a data file as an hour's. What was read names the line a foreign file fails at.
    QByteArray head;
    if (!ReadDataFileHead(file, head, errorText) && head.isEmpty()) return false;
    TDataFileSettings settings;
    if (!ReadDataFileSettings(head, settings, errorText)) return false;
    notTaken = ApplyExperimentSettings(window, settings);
    const QString steps = window.StepProgramEditor().TakeStepsBeside(dataFilePath);
    if (stepsOutcome) *stepsOutcome = steps;
    return true;
}

namespace
{

// Says what was taken; a refusal leaves every edit as it was.
void ReportTaken(TfrmOxtiva& window, const QString& path, bool taken, const QStringList& notTaken,
                 const QString& error, const QString& steps)
{
    const QString shown = QDir::toNativeSeparators(path);
    TLogger log(QStringLiteral("Form"), true);
    log.SetDestination(window.LogDestination());
    if (!taken) {
        log.Send(QStringLiteral("Settings not taken from %1: %2").arg(path, error));
        QMessageBox::warning(
            &window, window.windowTitle(),
            QStringLiteral("No settings were taken from %1: %2").arg(shown, error));
        return;
    }
    log.Send(QStringLiteral("Settings taken from ") + path);
    const QString stepsText =
        steps.isEmpty() ? QStringLiteral("No step program was saved with it; the step list stays "
                                         "as it is.")
                        : steps;
    if (notTaken.isEmpty()) {
        QMessageBox::information(
            &window, window.windowTitle(),
            QStringLiteral("Taken from %1: the sample's name and formula, the values of "
                           "\"Experiment data\" and the notes.\n\n%2")
                .arg(shown, stepsText));
        return;
    }
    QMessageBox::warning(&window, window.windowTitle(),
                         QStringLiteral("The settings of %1 were taken, except these values, "
                                        "which keep what the window had:\n%2\n\n%3")
                             .arg(shown, notTaken.join(u'\n'), stepsText));
}

} // namespace

void ChooseAndTakeExperimentSettings(TfrmOxtiva& window)
{
    QFileDialog dialog(&window, QStringLiteral("Take settings from a data file"),
                       QDir(window.ProgramFolder()).filePath(QStringLiteral("Userdata")),
                       QStringLiteral("Data files (*.csv)"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString path = dialog.selectedFiles().constFirst();
    QStringList notTaken;
    QString error;
    QString steps;
    const bool taken = TakeExperimentSettings(window, path, notTaken, error, &steps);
    ReportTaken(window, path, taken, notTaken, error, steps);
}

QString RecoveredSettingsOfferText(const QString& recoveredFile, const QString& sampleShown)
{
    return QStringLiteral(
               "The unsaved data of %1 was written to\n%2\n\n"
               "Take the settings puts that experiment's \"Experiment data\" values, sample, "
               "notes and step program into this window.\n\n"
               "Caution: the SourceMeter may still be sourcing the last current or voltage of "
               "the earlier session. The pump keeps that level until the SourceMeter is "
               "validated again, which resets it.")
        .arg(sampleShown, QDir::toNativeSeparators(recoveredFile));
}

void OfferRecoveredSettings(TfrmOxtiva& window, const QString& recoveredFile,
                            const QString& sampleShown)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Data recovered"),
                    RecoveredSettingsOfferText(recoveredFile, sampleShown), QMessageBox::NoButton,
                    &window);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::Close);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Take the settings"));
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Close);
    if (box.exec() != QMessageBox::Yes) return;
    QStringList notTaken;
    QString error;
    QString steps;
    const bool taken = TakeExperimentSettings(window, recoveredFile, notTaken, error, &steps);
    ReportTaken(window, recoveredFile, taken, notTaken, error, steps);
}

} // namespace oxtiva
