#include "app/pages/step_program_editor.h"

#include "app/main_window.h"
#include "app/window/numeric_edits.h"
#include "control/step_line.h"
#include "control/step_program_file.h"
#include "control/step_progress.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>

#include <limits>

namespace oxtiva
{

namespace
{

int SelectedRow(const QListWidget& list)
{
    const QList<QListWidgetItem*> selected = list.selectedItems();
    return selected.isEmpty() ? -1 : list.row(selected.first());
}

// A step program of thousands of steps is a few hundred kilobytes; anything larger is some
// other file chosen by mistake, and is not read into memory.
constexpr qint64 MostStepFileBytes = 1 << 20;

const QString StepFileFilter = QStringLiteral("Step programs (*.steps);;All files (*)");

// What the list's edits let the operator type.
TStepLimits LimitsOfEdits(const TRtDoubleEdit& aLogpO2, const TRtDoubleEdit& aMillivolts)
{
    constexpr double unlimited = std::numeric_limits<double>::infinity();
    TStepLimits limits;
    limits.LowestSetpoint = aLogpO2.minimum().value_or(-unlimited);
    limits.HighestSetpoint = aLogpO2.maximum().value_or(unlimited);
    limits.LowestMillivolts = aMillivolts.minimum().value_or(-unlimited);
    limits.HighestMillivolts = aMillivolts.maximum().value_or(unlimited);
    return limits;
}

} // namespace

TStepProgramEditor::TStepProgramEditor(TfrmOxtiva& window) : fWindow(window)
{
    QListWidget* list = fWindow.ListBoxStepProgram;
    QObject::connect(fWindow.ButtonProgramPumpVoltage, &QPushButton::clicked, list,
                     [this] { ButtonProgramPumpVoltageClick(); });
    QObject::connect(fWindow.ButtonProgramDeleteStep, &QPushButton::clicked, list,
                     [this] { ButtonProgramDeleteStepClick(); });
    QObject::connect(fWindow.ButtonSaveSteps, &QPushButton::clicked, list,
                     [this] { ButtonSaveStepsClick(); });
    QObject::connect(fWindow.ButtonLoadSteps, &QPushButton::clicked, list,
                     [this] { ButtonLoadStepsClick(); });
    fLog.SetDestination(fWindow.LogDestination());
    // A click and a keyboard move both choose a line.
    QObject::connect(list, &QListWidget::itemClicked, list, [this] { ListBoxStepProgramClick(); });
    QObject::connect(list, &QListWidget::itemSelectionChanged, list,
                     [this] { ListBoxStepProgramClick(); });
    // A value taken again answers the refusal.
    for (TNumericEdit* edit : {static_cast<TNumericEdit*>(fWindow.RtDoubleEditEditpO2),
                               static_cast<TNumericEdit*>(fWindow.RtDoubleEditPPSmV)})
        QObject::connect(edit, &TNumericEdit::notTakenChanged, list, [this] {
            if (RefusedEntries().isEmpty()) ShowRefusal({});
        });
}

// An edit whose last entry was refused still holds the value before it; a step made of
// that value is not what the operator typed.
QString TStepProgramEditor::RefusedEntries() const
{
    QStringList refused;
    for (const TNumericEdit* edit : {static_cast<TNumericEdit*>(fWindow.RtDoubleEditEditpO2),
                                     static_cast<TNumericEdit*>(fWindow.RtDoubleEditPPSmV)})
        if (!edit->NotTakenReason().isEmpty()) refused << edit->NotTakenReason();
    return refused.join(u'\n');
}

void TStepProgramEditor::ShowRefusal(const QString& aText)
{
    fWindow.LabelStepEditRefusal->setText(aText);
    fWindow.LabelStepEditRefusal->setVisible(!aText.isEmpty());
}

void TStepProgramEditor::ButtonProgramPumpVoltageClick()
{
    const QString refused = RefusedEntries();
    if (!refused.isEmpty()) {
        ShowRefusal(QStringLiteral("No step was applied: a set point above holds a value that "
                                   "was not taken. Type a value within its range first."));
        return;
    }
    ShowRefusal({});
    QListWidget* list = fWindow.ListBoxStepProgram;
    const double setpoint = fWindow.RtDoubleEditEditpO2->value();
    const double millivolts = fWindow.RtDoubleEditPPSmV->value();
    const int selected = SelectedRow(*list);
    if (selected < 0) {
        list->addItem(StepLine(list->count() + 1, setpoint, millivolts));
    } else {
        list->item(selected)->setText(StepLine(selected + 1, setpoint, millivolts));
    }
    list->clearSelection();
    list->setCurrentRow(-1);
}

void TStepProgramEditor::ButtonProgramDeleteStepClick()
{
    QListWidget* list = fWindow.ListBoxStepProgram;
    if (list->count() >= 2) delete list->takeItem(list->count() - 1);
}

void TStepProgramEditor::ListBoxStepProgramClick()
{
    const QListWidget* list = fWindow.ListBoxStepProgram;
    const int selected = SelectedRow(*list);
    if (selected < 0) return;
    const QString line = list->item(selected)->text();
    double setpoint = 0;
    double millivolts = 0;
    if (StepLineSetpoint(line, setpoint)) fWindow.RtDoubleEditEditpO2->setValue(setpoint);
    if (StepLineMillivoltsToEnd(line, millivolts)) fWindow.RtDoubleEditPPSmV->setValue(millivolts);
}

void TStepProgramEditor::ButtonSaveStepsClick()
{
    const QString chosen = ChooseFile(true);
    if (chosen.isEmpty()) return;
    const QString path = WithStepsExtension(chosen);
    if (path != chosen && QFileInfo::exists(path) && !ConfirmReplace(path)) return;
    QStringList lines;
    const QListWidget& list = *fWindow.ListBoxStepProgram;
    for (int i = 0; i < list.count(); ++i)
        lines << list.item(i)->text();
    // Written aside and renamed into place, so a failed save never leaves half a program
    // where a whole one was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(StepProgramFileText(lines)) < 0 ||
        !file.commit()) {
        Warn(QStringLiteral("The step program could not be saved to %1: %2")
                 .arg(QDir::toNativeSeparators(path), file.errorString()));
        return;
    }
    fLog.Send(QStringLiteral("Step program saved to ") + path);
}

void TStepProgramEditor::ButtonLoadStepsClick()
{
    const QString path = ChooseFile(false);
    if (path.isEmpty()) return;
    const QString shown = QDir::toNativeSeparators(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Warn(QStringLiteral("The step program %1 could not be read: %2")
                 .arg(shown, file.errorString()));
        return;
    }
    if (file.size() > MostStepFileBytes) {
        Warn(QStringLiteral("%1 is too large to be a step program.").arg(shown));
        return;
    }
    const TStepFileContents contents = ParseStepProgramFile(
        file.readAll(), LimitsOfEdits(*fWindow.RtDoubleEditEditpO2, *fWindow.RtDoubleEditPPSmV));
    if (!contents.Ok()) {
        Warn(QStringLiteral("The step program %1 was not loaded; the list is unchanged.\n\n")
                 .arg(shown) +
             DescribeStepFileProblems(contents.Problems));
        return;
    }
    if (IsStepProgramState(fWindow.State().ProgramState) &&
        !ConfirmLoadWhileRunning(int(contents.Lines.size())))
        return;
    QListWidget& list = *fWindow.ListBoxStepProgram;
    list.clear();
    list.addItems(contents.Lines);
    list.setCurrentRow(-1);
    fLog.Send(QStringLiteral("Step program loaded from %1: %2 steps")
                  .arg(path)
                  .arg(contents.Lines.size()));
}

QString TStepProgramEditor::TakeStepsBeside(const QString& aDataFilePath)
{
    QFile file(StepsFileBeside(aDataFilePath));
    if (!file.exists()) return {};
    const QString shown = QDir::toNativeSeparators(file.fileName());
    // The running program goes on with the list it started with.
    if (IsStepProgramState(fWindow.State().ProgramState))
        return QStringLiteral("The step list stays as it is while a step program runs; the "
                              "file's steps are in %1.")
            .arg(shown);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MostStepFileBytes)
        return QStringLiteral("The step list stays as it is: %1 could not be read.").arg(shown);
    const TStepFileContents contents = ParseStepProgramFile(
        file.readAll(), LimitsOfEdits(*fWindow.RtDoubleEditEditpO2, *fWindow.RtDoubleEditPPSmV));
    if (!contents.Ok() || contents.Lines.isEmpty())
        return QStringLiteral("The step list stays as it is: %1 holds no readable step program.")
            .arg(shown);
    QListWidget& list = *fWindow.ListBoxStepProgram;
    list.clear();
    list.addItems(contents.Lines);
    list.setCurrentRow(-1);
    fLog.Send(QStringLiteral("Step program taken from %1: %2 steps")
                  .arg(file.fileName())
                  .arg(contents.Lines.size()));
    return QStringLiteral("The step list holds the run's %1 steps again.")
        .arg(contents.Lines.size());
}

QString TStepProgramEditor::StartFolder(bool aSaving) const
{
    if (!fLastFolder.isEmpty() && QFileInfo(fLastFolder).isDir()) return fLastFolder;
    const QDir userdata(QDir(fWindow.ProgramFolder()).filePath(QStringLiteral("Userdata")));
    const QString programs = userdata.filePath(QStringLiteral("Step programs"));
    if (aSaving) QDir().mkpath(programs);
    return QFileInfo(programs).isDir() ? programs : userdata.path();
}

QString TStepProgramEditor::ChooseFile(bool aSaving)
{
    QFileDialog dialog(&fWindow,
                       aSaving ? QStringLiteral("Save step program")
                               : QStringLiteral("Load step program"),
                       StartFolder(aSaving), StepFileFilter);
    dialog.setAcceptMode(aSaving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(aSaving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("steps"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    const QString path = dialog.selectedFiles().constFirst();
    fLastFolder = QFileInfo(path).absolutePath();
    return path;
}

bool TStepProgramEditor::ConfirmReplace(const QString& aPath)
{
    return QMessageBox::question(&fWindow, fWindow.windowTitle(),
                                 QStringLiteral("%1 already exists. Replace it?")
                                     .arg(QDir::toNativeSeparators(aPath)),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

// The running step keeps its number and its start time: the control cycle takes the set
// point of the same line of the new list on its next pass, and a list too short for it
// ends the program there.
bool TStepProgramEditor::ConfirmLoadWhileRunning(int aLoadedCount)
{
    const int step = fWindow.State().StepIndex + 1;
    const QString outcome =
        step <= aLoadedCount
            ? QStringLiteral("The program goes on at step %1 of the loaded list, with the time "
                             "already spent in the step.")
                  .arg(step)
            : QStringLiteral("The loaded list has only %1 steps, fewer than the running step %2, "
                             "so the program ends and the pump falls back to 0 µA.")
                  .arg(aLoadedCount)
                  .arg(step);
    return QMessageBox::question(
               &fWindow, fWindow.windowTitle(),
               QStringLiteral("Load these steps in place of the running step program? ") + outcome,
               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TStepProgramEditor::Warn(const QString& aText)
{
    QMessageBox::warning(&fWindow, fWindow.windowTitle(), aText);
}

} // namespace oxtiva
