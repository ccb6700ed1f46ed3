#include "app/main_window.h"

#include "app/pages/blank_run_calibration.h"

#include "app/experiment/control_cycle.h"
#include "app/experiment/experiment_saver.h"
#include "app/experiment/instrument_validation.h"
#include "app/experiment/journal_keeper.h"
#include "app/window/numeric_edits.h"
#include "app/window/window_caption.h"
#include "instruments/thread2000.h"
#include "instruments/thread2401.h"
#include "records/settings_file.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

namespace oxtiva
{

namespace
{
// However an instrument misbehaves, closing the window never hangs for longer than this.
constexpr int ThreadStopTimeoutMs = 15000;

// Sleeps while the window's events (and so the threads' hand-overs) keep being served.
void WaitServingEvents(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

template <class Thread> bool WaitUntilStopped(Thread& thread, int pollMs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!thread.IsStopped() && elapsed.elapsed() < ThreadStopTimeoutMs)
        WaitServingEvents(pollMs);
    return thread.IsStopped();
}

// A stopped thread only closes its port after saying so; wait for its body to return
// before freeing it. One that never stopped is left running rather than destroyed under
// its own feet, which would end the program.
template <class Thread> void Release(std::unique_ptr<Thread>& thread, const TLogger& log)
{
    std::unique_ptr<Thread> owned = std::move(thread);
    if (owned->IsStopped() && owned->wait(ThreadStopTimeoutMs)) return;
    log.Send(QStringLiteral("A communication thread did not stop in time and was left running"));
    owned.release();
}
} // namespace

void TfrmOxtiva::FormCreate()
{
    // The grid has been formatted by the constructor before anything reads it.
    LoadSettings();
    fState.PID.SetP(0.001);
    fState.PID.SetI(0.001);
    fState.PID.SetD(0.001);
    LabelPidGainsInForce->setText(PidGainsText(fState.PID));
    QDir::setCurrent(fProgramFolder);
    CreateFolder(QStringLiteral("Userdata"), QStringLiteral("Could not create 'Userdata' folder"));
    CreateFolder(QStringLiteral("Logs"), QStringLiteral("Could not create 'Logs' folder"));
    const QString logs = QDir(fProgramFolder).filePath(QStringLiteral("Logs"));
    if (!fLogDestination->OpenLogFile(logs, QStringLiteral("Log.csl"), 1024, 20)) {
        // Weeks without a log leave a fault nothing to explain it: the operator must know.
        const QString text = QStringLiteral("Log file cannot be opened in ") +
                             QDir::toNativeSeparators(logs);
        fCaption->SetNotice(TCaptionNotice::LogFailed, text);
        statusBar()->showMessage(text);
    }
    // Without it the lines about threads that would not end never reach the log file.
    fShutdownLog.SetDestination(fLogDestination);
    Statusbar();
    SampleCalculations();
    PageControlMain->setCurrentIndex(0);
    EditSensorID->setText(DefaultSensorID);
    RtDoubleEditSensorAx->setValue(fState.SensorAx);
    RtDoubleEditSensorBx->setValue(fState.SensorBx);
    fValidation->GetAvailableComPorts();
    Timer1->start();
}

void TfrmOxtiva::CreateFolder(const QString& name, const QString& failureMessage)
{
    const QDir program(fProgramFolder);
    if (program.exists(name) || program.mkpath(name)) return;
    QMessageBox::warning(this, windowTitle(), failureMessage);
}

void TfrmOxtiva::LoadSettings()
{
    const TSettingsFile settings(SettingsPath());
    EditSMUCOMPort->setText(settings.SmuPort());
    Edit2000COMPort->setText(settings.MultimeterPort());
    TBlankRunCalibration::LoadStored(*this);
}

void TfrmOxtiva::SaveSettings()
{
    TSettingsFile settings(SettingsPath());
    if (CheckBoxSMUValidated->isChecked()) settings.WriteSmuPort(fState.SMUComPort);
    if (CheckBox2000Validated->isChecked()) settings.WriteMultimeterPort(Edit2000COMPort->text());
}

QString TfrmOxtiva::SettingsPath() const
{
    return QDir(fProgramFolder).filePath(QFileInfo(TSettingsFile::DefaultPath()).fileName());
}

void TfrmOxtiva::closeEvent(QCloseEvent* event)
{
    if (fState.ProgramState != TProgramState::ToExit && !FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

bool TfrmOxtiva::FormCloseQuery()
{
    return QMessageBox::question(this, windowTitle(),
                                 CloseQuestion(fJournal->UnsavedRows(),
                                               fCaption->Holds(TCaptionNotice::JournalFailed)),
                                 QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

// Unsaved rows outlive the window in the journal, unless the journal itself has failed.
QString CloseQuestion(int aUnsavedRows, bool aJournalFailed)
{
    if (aUnsavedRows == 0) return QStringLiteral("Close the form? Every row of the grid is saved.");
    const QString rows = aUnsavedRows == 1 ? QStringLiteral("1 row of the grid is")
                                           : QStringLiteral("%1 rows of the grid are").arg(aUnsavedRows);
    if (aJournalFailed)
        return QStringLiteral("Close the form? %1 not saved, and the journal cannot be written, "
                              "so they will be lost.")
            .arg(rows);
    return QStringLiteral("Close the form? %1 not saved yet; they stay in the journal and are "
                          "offered for recovery at the next start.")
        .arg(rows);
}

// The control cycle does the stopping in the exit state: the pump is asked for 0 µA, both
// threads for a stop, and each is freed once it reports that it has stopped.
void TfrmOxtiva::FormClose()
{
    fState.ProgramState = TProgramState::ToExit;
    // The journal may go only once the saves it relies on are on the disk.
    fSaver->WaitUntilSaved(ThreadStopTimeoutMs);
    fJournal->CloseSession(); // no row enters the grid from now on
    fCaption->SetClosing(QStringLiteral("Waiting for communication threads to close"));
    QElapsedTimer elapsed;
    elapsed.start();
    while ((Thread2000 || Thread2401) && elapsed.elapsed() < ThreadStopTimeoutMs)
        WaitServingEvents(150);
    if (Thread2000 || Thread2401)
        fShutdownLog.Send(
            QStringLiteral("Closing without waiting longer for the communication threads"));
}

// Normally the threads are gone by now (FormClose); a window destroyed without closing
// stops them the same way, with the pump at 0 µA.
void TfrmOxtiva::FormDestroy()
{
    Timer1->stop();
    // The multimeter winds down while the pump is being stopped.
    if (Thread2000) {
        Thread2000->SetToPauseEx(false);
        Thread2000->SetToStopEx(true);
    }
    ReleaseThread2401WhenStopped();
    ReleaseThread2000WhenStopped();
    fState.SyncI.reset();
    fState.SyncV.reset();
    fState.SyncT.reset();
    fState.SyncpO2.reset();
}

void TfrmOxtiva::ReleaseThread2000() { Release(Thread2000, fShutdownLog); }
void TfrmOxtiva::ReleaseThread2401()
{
    if (Thread2401) WarnIfPumpNotConfirmed(*Thread2401);
    Release(Thread2401, fShutdownLog);
}

// A thread that never stopped has not even tried; one that stopped has read the level
// and the output back.
void TfrmOxtiva::WarnIfPumpNotConfirmed(const TThread2401& thread)
{
    if (thread.IsStopped() && thread.FinalSourceConfirmed()) return;
    const QString text = QStringLiteral("The SourceMeter did not confirm 0 A: the pump may still "
                                        "be driven. Check the instrument and switch its output "
                                        "off by hand.");
    fShutdownLog.Send(text);
    QMessageBox::warning(this, windowTitle(), text);
}

// A validation that replaces a running thread takes it out of the window's hands first, so
// the control cycle cannot hand it a new mode while it is being stopped.
void TfrmOxtiva::ReleaseThread2000WhenStopped()
{
    if (!Thread2000) return;
    std::unique_ptr<TThread2000> old = std::move(Thread2000);
    old->SetToPauseEx(false);
    old->SetToStopEx(true);
    WaitUntilStopped(*old, 100);
    Release(old, fShutdownLog);
}

void TfrmOxtiva::ReleaseThread2401WhenStopped()
{
    if (!Thread2401) return;
    std::unique_ptr<TThread2401> old = std::move(Thread2401);
    old->SetModeEx(TMode::SetCurrent);
    fState.GSCurrent = 0;
    old->SetToStopEx(true);
    WaitUntilStopped(*old, 100);
    WarnIfPumpNotConfirmed(*old);
    Release(old, fShutdownLog);
}

} // namespace oxtiva
