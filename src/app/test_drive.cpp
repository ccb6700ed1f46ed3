#include "app/test_drive.h"

#include "app/experiment/control_cycle.h"
#include "app/experiment/experiment_saver.h"
#include "app/experiment/journal_keeper.h"
#include "app/main_window.h"
#include "app/window/data_grid.h"
#include "app/window/numeric_edits.h"
#include "records/data_file.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cstdio>

namespace oxtiva
{

namespace
{

// One line on standard output, at once: the test reads it while the program runs and may
// kill the program right after.
void Print(const QString& line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QMessageBox::StandardButton RecoveryButton(const QString& answer)
{
    if (answer == QLatin1String("recover")) return QMessageBox::Yes;
    if (answer == QLatin1String("discard")) return QMessageBox::Discard;
    return QMessageBox::No;
}

} // namespace

TTestDrive::TTestDrive(TfrmOxtiva& window, TTestDriveOptions options)
    : QObject(&window), fWindow(window), fOptions(std::move(options))
{
    fBoxWatch.setInterval(10);
    connect(&fBoxWatch, &QTimer::timeout, this, &TTestDrive::AnswerMessageBox);
    fBoxWatch.start();
    // Queued: the row's cells are written after it is added.
    connect(&fWindow.StringGridData->Model(), &QAbstractItemModel::rowsInserted, this,
            &TTestDrive::RowsEntered, Qt::QueuedConnection);
    fWindow.Saver().AddSaveEndedListener(
        [this](bool) { Print(QStringLiteral("save ends ") + fWindow.Saver().LastSavedPath()); });
}

void TTestDrive::Begin()
{
    Print(QStringLiteral("start-up questions answered"));
    if (fOptions.PointLengthSeconds > 0)
        fWindow.RtDoubleEditDataPointLength->setValue(fOptions.PointLengthSeconds);
    if (!fOptions.SmuPort.isEmpty()) {
        fWindow.EditSMUCOMPort->setText(fOptions.SmuPort);
        fWindow.ButtonSMUTest->click();
    }
    if (!fOptions.DmmPort.isEmpty()) {
        fWindow.Edit2000COMPort->setText(fOptions.DmmPort);
        fWindow.Button2000Test->click();
    }
    const bool smu = fWindow.CheckBoxSMUValidated->isChecked();
    const bool dmm = fWindow.CheckBox2000Validated->isChecked();
    Print(QStringLiteral("validated SourceMeter %1 MultiMeter %2").arg(smu).arg(dmm));
    if (!smu || !dmm)
        Print(QStringLiteral("validation memo: ") +
              fWindow.MemoConfLog->toPlainText().replace(u'\n', QStringLiteral(" / ")));
    if (fOptions.State) {
        fWindow.ControlCycle().ButtonOf(*fOptions.State)->click();
        Print(QStringLiteral("state ") + ProgramStateName(fWindow.State().ProgramState));
    }
}

void TTestDrive::AnswerMessageBox()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    Print(QStringLiteral("box ") + box->windowTitle() + QStringLiteral(": ") +
          QString(box->text()).replace(u'\n', QStringLiteral(" / ")));
    QAbstractButton* answer = nullptr;
    if (box->button(QMessageBox::Discard))
        answer = box->button(RecoveryButton(fOptions.RecoveryAnswer));
    else if (box->button(QMessageBox::Yes))
        answer = box->button(QMessageBox::Yes);
    else
        answer = box->button(QMessageBox::Ok);
    if (answer)
        answer->click();
    else
        box->reject();
}

void TTestDrive::RowsEntered()
{
    const TStringGrid& grid = *fWindow.StringGridData;
    for (; fEchoedRows < grid.RowCount(); ++fEchoedRows) {
        const int row = fEchoedRows;
        if (fOptions.EchoRows) {
            Print(QStringLiteral("row %1 ").arg(row) +
                  DataLine(grid.ColCount(), [&grid, row](int col) { return grid.Cell(col, row); }));
        }
        if (IsDataPointRow(grid, row) && fOptions.SaveEveryPoints > 0 &&
            ++fDataPoints % fOptions.SaveEveryPoints == 0)
            SaveNow();
    }
}

void TTestDrive::SaveNow()
{
    Print(QStringLiteral("save begins"));
    fWindow.ButtonSaveTest->click();
}

} // namespace oxtiva
