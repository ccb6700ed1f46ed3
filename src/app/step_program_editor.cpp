#include "app/step_program_editor.h"

#include "app/main_window.h"
#include "app/numeric_edits.h"
#include "control/step_line.h"

#include <QListWidget>
#include <QPushButton>

namespace oxtiva
{

namespace
{

int SelectedRow(const QListWidget& list)
{
    const QList<QListWidgetItem*> selected = list.selectedItems();
    return selected.isEmpty() ? -1 : list.row(selected.first());
}

} // namespace

TStepProgramEditor::TStepProgramEditor(TfrmOxtiva& window) : fWindow(window)
{
    QListWidget* list = fWindow.ListBoxStepProgram;
    QObject::connect(fWindow.ButtonProgramPumpVoltage, &QPushButton::clicked, list,
                     [this] { ButtonProgramPumpVoltageClick(); });
    QObject::connect(fWindow.ButtonProgramDeleteStep, &QPushButton::clicked, list,
                     [this] { ButtonProgramDeleteStepClick(); });
    // A click and a keyboard move both choose a line.
    QObject::connect(list, &QListWidget::itemClicked, list, [this] { ListBoxStepProgramClick(); });
    QObject::connect(list, &QListWidget::itemSelectionChanged, list,
                     [this] { ListBoxStepProgramClick(); });
}

void TStepProgramEditor::ButtonProgramPumpVoltageClick()
{
    QListWidget* list = fWindow.ListBoxStepProgram;
    const double setpoint = -fWindow.RtDoubleEditEditpO2->value();
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
    if (StepLineSetpoint(line, setpoint)) fWindow.RtDoubleEditEditpO2->setValue(-setpoint);
    if (StepLineMillivoltsToEnd(line, millivolts)) fWindow.RtDoubleEditPPSmV->setValue(millivolts);
}

} // namespace oxtiva
