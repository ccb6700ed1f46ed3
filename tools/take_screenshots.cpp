// Takes pictures of the five pages of the main window while a three-step PID program runs
// against the simulated cell, of the page "Oxygen content" after a run of its own and of a
// blank run's calibration, and of the page "Thermodynamics" after step programs at three
// temperatures, for the documentation.
// Usage: oxtiva-screenshots OUTPUT_FOLDER [thermodynamics] (that picture alone)
#include "app/experiment/experiment_settings_import.h"
#include "app/main_window.h"
#include "app/pages/oxygen_content.h"
#include "app/pages/oxygen_content_page.h"
#include "app/pages/thermodynamics_page.h"
#include "app/window/experiment_graph.h"
#include "app/window/numeric_edits.h"
#include "app/window/status_bar.h"
#include "app/window/window_caption.h"
#include "records/date_time.h"
#include "science/oxygen_leak_fit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#ifndef OXTIVA_CELLSIM_PATH
#error "OXTIVA_CELLSIM_PATH must name the oxtiva-cellsim executable"
#endif

namespace oxtiva
{
namespace
{

// A lab laptop's screen: the pictures show what fits on it.
const QSize LaptopScreen(1366, 768);

// A time-scale this high lets a pO2 step settle within seconds of wall-clock time.
const QStringList SimulatorSpeed{"--time-scale", "10000", "--leak", "1e-8"};
// Each step settles within some 6 s, so the program would be over before the graph held
// GraphSpanSeconds if the zero-current lead-in were shorter.
constexpr double ZeroCurrentSeconds = 18;
constexpr double GraphSpanSeconds = 30;
// Long enough into a step for the picture to show the cell's answer to it.
constexpr double IntoStepSeconds = 3;
constexpr int LeadInTimeoutMs = 60000;
constexpr int AdvanceTimeoutMs = 120000;
constexpr int AlarmTimeoutMs = 90000;

struct TStep {
    double minusLogpO2;
    double millivolts;
};
constexpr TStep Steps[] = {{0.85, 20}, {0.9, 30}, {0.95, 40}};

void Settle(int aMs)
{
    QEventLoop loop;
    QTimer::singleShot(aMs, &loop, &QEventLoop::quit);
    loop.exec();
}

void WaitFor(const std::function<bool()>& aCondition, int aTimeoutMs, const char* aFailure)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!aCondition()) {
        if (elapsed.elapsed() > aTimeoutMs) throw std::runtime_error(aFailure);
        Settle(50);
    }
}

// The confirmations run nested event loops, so they are answered from a timer: Yes to a
// change of program state, Ok to closing the window.
class TDialogAccepter : public QObject
{
  public:
    TDialogAccepter()
    {
        connect(&fPoll, &QTimer::timeout, this, &TDialogAccepter::Poll);
        fPoll.start(50);
    }

  private:
    void Poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        QAbstractButton* yes = box->button(QMessageBox::Yes);
        QAbstractButton* accept = yes ? yes : box->button(QMessageBox::Ok);
        if (accept)
            accept->click();
        else
            box->reject();
    }

    QTimer fPoll;
};

class TCellSimulator
{
  public:
    explicit TCellSimulator(const QStringList& aOptions = SimulatorSpeed)
    {
        if (!fLinks.isValid()) throw std::runtime_error("no temporary folder for the links");
        fProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        fProcess.start(QStringLiteral(OXTIVA_CELLSIM_PATH),
                       QStringList{"--smu-link", SmuPort(), "--dmm-link", DmmPort()} + aOptions);
        if (!fProcess.waitForStarted(10000) || ReadLine(10000) != QLatin1String("ready"))
            throw std::runtime_error("the simulated cell did not become ready");
    }
    ~TCellSimulator()
    {
        if (fProcess.state() == QProcess::Running) {
            fProcess.write("quit\n");
            fProcess.closeWriteChannel();
            if (fProcess.waitForFinished(5000)) return;
        }
        fProcess.kill();
        fProcess.waitForFinished(3000);
    }

    QString SmuPort() const { return fLinks.filePath(QStringLiteral("smu")); }
    QString DmmPort() const { return fLinks.filePath(QStringLiteral("dmm")); }

    // One line on the simulator's control channel, such as "fault smu silent".
    void Command(const QString& aLine)
    {
        fProcess.write((aLine + QLatin1Char('\n')).toUtf8());
        if (ReadLine(5000) != QLatin1String("ok"))
            throw std::runtime_error("the simulated cell refused a control line");
    }

  private:
    QString ReadLine(int aTimeoutMs)
    {
        QDeadlineTimer deadline(aTimeoutMs);
        while (!fProcess.canReadLine() && !deadline.hasExpired() &&
               fProcess.state() == QProcess::Running)
            fProcess.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
        return QString::fromUtf8(fProcess.readLine()).trimmed();
    }

    QTemporaryDir fLinks;
    QProcess fProcess;
};

void Validate(TfrmOxtiva& aWindow, const TCellSimulator& aSim)
{
    aWindow.RtDoubleEditDataPointLength->setValue(1);
    aWindow.RtDoubleEditRCDuration->setValue(3);
    aWindow.RtDoubleEditRCThreshold->setValue(1);
    aWindow.RtDoubleEditPIDP->setValue(0); // automatic gains
    aWindow.EditSMUCOMPort->setText(aSim.SmuPort());
    aWindow.ButtonSMUTest->click();
    aWindow.Edit2000COMPort->setText(aSim.DmmPort());
    aWindow.Button2000Test->click();
    if (aWindow.State().ProgramState != TProgramState::Paused)
        throw std::runtime_error("instrument validation failed");
}

void WriteStepProgram(TfrmOxtiva& aWindow)
{
    const int count = static_cast<int>(std::size(Steps));
    while (aWindow.ListBoxStepProgram->count() > count)
        aWindow.ButtonProgramDeleteStep->click();
    for (int i = 0; i < count; ++i) {
        // Selecting a line loads it into the edits, so the new values come after it.
        aWindow.ListBoxStepProgram->setCurrentRow(i);
        aWindow.RtDoubleEditEditpO2->setValue(-Steps[i].minusLogpO2);
        aWindow.RtDoubleEditPPSmV->setValue(Steps[i].millivolts);
        aWindow.ButtonProgramPumpVoltage->click();
    }
}

double GraphSpan(const TExperimentGraph& aGraph)
{
    const std::vector<double>& t = aGraph.RtDoubleVectorTime;
    return t.empty() ? 0 : t.back() - t.front();
}

// The running step's label while it waits and already knows its relative changes, caught
// during the run since a step waits only for seconds at this time scale.
QImage gWaitingStep; // a QPixmap cannot exist before the application

void CatchWaitingStep(TfrmOxtiva& aWindow)
{
    if (!gWaitingStep.isNull() || aWindow.LabelStepProgress->isHidden()) return;
    static const QRegularExpression knownRC(QStringLiteral("waiting: RC pO2 -?[0-9]"));
    if (!knownRC.match(aWindow.LabelStepProgress->text()).hasMatch()) return;
    // The group down to the list's first rows: the reason, and the step it is about.
    QWidget& group = *aWindow.GroupBox12;
    const QListWidget& list = *aWindow.ListBoxStepProgram;
    const int bottom = list.geometry().top() + 2 * list.frameWidth() + 4 * list.sizeHintForRow(0);
    gWaitingStep = group.grab(QRect(0, 0, group.width(), bottom)).toImage();
}

void RunExperiment(TfrmOxtiva& aWindow)
{
    const TExperimentGraph& graph = *aWindow.RtGraph2D1;
    const TSharedState& state = aWindow.State();
    aWindow.RadioButtonModePassive->click();
    if (state.ProgramState != TProgramState::ZeroCurrent)
        throw std::runtime_error("zero current was not taken up");
    WaitFor([&] { return GraphSpan(graph) >= ZeroCurrentSeconds; }, LeadInTimeoutMs,
            "no data points came in at zero current");
    WriteStepProgram(aWindow);
    // The waiting step is caught on its page as the operator sees it: a page never shown
    // is laid out at its smallest, where the step's reason has no room for its lines.
    aWindow.PageControlMain->setCurrentWidget(aWindow.TabSheetExperimentControl);
    aWindow.RadioButtonPIDStep->click();
    if (state.ProgramState != TProgramState::PIDStep)
        throw std::runtime_error("the step program did not start");
    WaitFor(
        [&] {
            if (state.ProgramState != TProgramState::PIDStep)
                throw std::runtime_error("the step program ended before the pictures");
            CatchWaitingStep(aWindow);
            return state.StepIndex >= 1 && GraphSpan(graph) >= GraphSpanSeconds &&
                   (NowDays() - state.StepStartTime) * SecondsPerDay >= IntoStepSeconds;
        },
        AdvanceTimeoutMs, "the step program never advanced");
}

// The SourceMeter falls silent mid-run; the picture shows the alarm in the status bar once
// half a minute has passed without a good reading.
void SaveInstrumentAlarm(TfrmOxtiva& aWindow, TCellSimulator& aSim, const QDir& aFolder)
{
    aWindow.PageControlMain->setCurrentWidget(aWindow.TabSheetExperimentControl);
    aSim.Command(QStringLiteral("fault smu silent"));
    WaitFor([&] { return aWindow.Caption().Holds(TCaptionNotice::InstrumentAlarm); },
            AlarmTimeoutMs, "the instrument alarm did not come");
    Settle(300);
    const QString path = aFolder.filePath(QStringLiteral("window-instrument-alarm.png"));
    if (!aWindow.grab().save(path)) throw std::runtime_error("cannot write a picture");
    std::printf("%s\n", qPrintable(path));
    aSim.Command(QStringLiteral("fault smu none"));
    // Once readings come again the alarm leaves its trace under the pages.
    WaitFor([&] { return !aWindow.GlyphStatusAlarmTrace->isHidden(); }, AlarmTimeoutMs,
            "the alarm left no trace");
    Settle(300);
    const QString tracePath = aFolder.filePath(QStringLiteral("window-alarm-trace.png"));
    if (!aWindow.grab().save(tracePath)) throw std::runtime_error("cannot write a picture");
    std::printf("%s\n", qPrintable(tracePath));
}

void SaveWaitingStepPicture(const QDir& aFolder)
{
    if (gWaitingStep.isNull()) throw std::runtime_error("no step was seen waiting with its RC");
    const QString path = aFolder.filePath(QStringLiteral("step-waiting-reason.png"));
    if (!gWaitingStep.save(path)) throw std::runtime_error("cannot write a picture");
    std::printf("%s\n", qPrintable(path));
}

// The offer after a crash's journal was recovered: take that session's settings, and the
// warning that the pump may still be sourcing.
void SaveRecoveryOfferPicture(const QDir& aFolder)
{
    QTemporaryDir programFolder;
    if (!programFolder.isValid()) throw std::runtime_error("no temporary program folder");
    TfrmOxtiva window(nullptr, programFolder.path());
    window.resize(LaptopScreen);
    window.show();
    Settle(300);
    const QString path = aFolder.filePath(QStringLiteral("recovery-offer.png"));
    bool saved = false;
    QTimer::singleShot(500, &window, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box) return;
        saved = box->grab().save(path);
        box->close();
    });
    OfferRecoveredSettings(window, programFolder.filePath("Userdata/2026-12-10/Ceria_0003.csv"),
                           QStringLiteral("\"Ceria\""));
    if (!saved) throw std::runtime_error("cannot write the recovery offer's picture");
    std::printf("%s\n", qPrintable(path));
}

void SavePages(TfrmOxtiva& aWindow, const QDir& aFolder)
{
    const std::pair<QWidget*, const char*> pages[] = {
        {aWindow.TabSheetInstruments, "window-configuration.png"},
        {aWindow.TabSheetExperimentSetup, "window-experiment-data.png"},
        {aWindow.TabSheetExperimentControl, "window-experiment-control.png"},
        {aWindow.TabSheetData, "window-raw-data.png"},
        {aWindow.TabSheetDebug, "window-debug.png"},
    };
    for (const auto& [page, name] : pages) {
        aWindow.PageControlMain->setCurrentWidget(page);
        Settle(300);
        const QString path = aFolder.filePath(QString::fromLatin1(name));
        if (!aWindow.grab().save(path)) throw std::runtime_error("cannot write a picture");
        std::printf("%s\n", qPrintable(path));
    }
}

// The "Step program" group beside the program modes, while the program runs: the progress
// label above the list and the running step's highlighted line.
void SaveStepProgramPicture(TfrmOxtiva& aWindow, const QDir& aFolder)
{
    aWindow.PageControlMain->setCurrentWidget(aWindow.TabSheetExperimentControl);
    Settle(300);
    if (aWindow.LabelStepProgress->isHidden())
        throw std::runtime_error("the step program ended before its picture");
    const QString path = aFolder.filePath(QStringLiteral("step-program-progress.png"));
    if (!aWindow.GroupBox12->parentWidget()->grab().save(path))
        throw std::runtime_error("cannot write a picture");
    std::printf("%s\n", qPrintable(path));
}

// The page "Oxygen content" after a three-decade PID step program over a reducible sample
// with a leak through the electrolyte, alpha fitted over a steady PID hold first (and that
// page pictured with the estimate's answer). It
// runs on a cell of its own: at time scale X the window gets the constants of the cell the
// simulator is on the wall clock (its 0.012 L of gas and a 1 g sample, both divided by X).
namespace oxygen
{
constexpr double TimeScale = 20000;
const QStringList Cell{"--time-scale",
                       QString::number(TimeScale),
                       "--leak",
                       "0",
                       "--sample-capacity",
                       "1e-4",
                       "--leak-alpha",
                       "1e-9"};
constexpr double MinusLogpO2[] = {1, 2, 3};
constexpr int StageTimeoutMs = 300000;
} // namespace oxygen

// "Experiment data" with the answer of "Estimate" under the leak constants.
void SaveLeakEstimate(TfrmOxtiva& aWindow, const QDir& aFolder)
{
    aWindow.PageControlMain->setCurrentWidget(aWindow.TabSheetExperimentSetup);
    Settle(300);
    const QString path = aFolder.filePath(QStringLiteral("window-leak-estimate.png"));
    if (!aWindow.grab().save(path)) throw std::runtime_error("cannot write a picture");
    std::printf("%s\n", qPrintable(path));
}

void RunOxygenExperiment(TfrmOxtiva& aWindow, const TCellSimulator& aSim, const QDir& aFolder)
{
    aWindow.RtDoubleEditPumpCurrentLimit->setValue(0.005);
    aWindow.RtDoubleEditd->setValue(0);
    aWindow.RtDoubleEditVHPS->setValue(0.012 / oxygen::TimeScale);
    aWindow.RtDoubleEditVgp->setValue(0);
    aWindow.RtDoubleEditmass0->setValue(1 / oxygen::TimeScale);
    Validate(aWindow, aSim);
    const TSharedState& state = aWindow.State();
    aWindow.RadioButtonModePassive->click();
    WaitFor([&] { return aWindow.OxygenContent().History().Size() >= 3; }, LeadInTimeoutMs,
            "no data points came in at zero current");
    aWindow.RtDoubleEditPISSP->setValue(-1);
    aWindow.RadioButtonPIDSet->click();
    WaitFor([&] { return SteadyHoldPoints(aWindow.OxygenContent().History()).size() >= 20; },
            oxygen::StageTimeoutMs, "no steady hold under PID control");
    aWindow.ButtonEstimateLeakAlpha->click();
    SaveLeakEstimate(aWindow, aFolder);
    const int count = static_cast<int>(std::size(oxygen::MinusLogpO2));
    while (aWindow.ListBoxStepProgram->count() > count)
        aWindow.ButtonProgramDeleteStep->click();
    for (int i = 0; i < count; ++i) {
        aWindow.ListBoxStepProgram->setCurrentRow(i);
        aWindow.RtDoubleEditEditpO2->setValue(-oxygen::MinusLogpO2[i]);
        aWindow.ButtonProgramPumpVoltage->click();
    }
    aWindow.RadioButtonPIDStep->click();
    WaitFor([&] { return state.ProgramState == TProgramState::ZeroCurrent; },
            oxygen::StageTimeoutMs, "the step program over the reducible sample did not end");
}

void SaveOxygenContentPage(const QDir& aFolder)
{
    QTemporaryDir programFolder;
    if (!programFolder.isValid()) throw std::runtime_error("no temporary program folder");
    TCellSimulator sim(oxygen::Cell);
    auto window = std::make_unique<TfrmOxtiva>(nullptr, programFolder.path());
    window->resize(LaptopScreen);
    window->show();
    RunOxygenExperiment(*window, sim, aFolder);
    window->PageControlMain->setCurrentWidget(window->TabSheetOxygenContent);
    Settle(300);
    const QString path = aFolder.filePath(QStringLiteral("window-oxygen-content.png"));
    if (!window->grab().save(path)) throw std::runtime_error("cannot write a picture");
    std::printf("%s\n", qPrintable(path));
    window->close();
}

// "Experiment data" with the answer of the blank run's "Calibrate": an empty cell with a leak
// through the electrolyte, taken to three pO2 by pump voltages, on a cell of its own. The
// window starts with another gas volume than the simulator's, as a cell not yet calibrated.
namespace blank
{
constexpr double TimeScale = 6000;
const QStringList Cell{"--time-scale",
                       QString::number(TimeScale),
                       "--leak",
                       "0",
                       "--sample-capacity",
                       "0",
                       "--leak-alpha",
                       "1e-9"};
constexpr int Millivolts[] = {100, 150, 60};
constexpr std::size_t PointsPerLevel = 10;
constexpr int StageTimeoutMs = 120000;
} // namespace blank

void SaveBlankRunPicture(const QDir& aFolder)
{
    QTemporaryDir programFolder;
    if (!programFolder.isValid()) throw std::runtime_error("no temporary program folder");
    TCellSimulator sim(blank::Cell);
    auto window = std::make_unique<TfrmOxtiva>(nullptr, programFolder.path());
    TfrmOxtiva& w = *window;
    w.resize(LaptopScreen);
    w.show();
    w.RtDoubleEditPumpCurrentLimit->setValue(0.001);
    w.RtDoubleEditd->setValue(0);
    w.RtDoubleEditVHPS->setValue(0.01 / blank::TimeScale);
    w.RtDoubleEditVgp->setValue(0);
    w.RtDoubleEditmass0->setValue(0);
    Validate(w, sim);
    const TOxygenHistory& history = w.OxygenContent().History();
    w.RadioButtonModePassive->click();
    WaitFor([&] { return history.Size() >= 3; }, LeadInTimeoutMs,
            "no data points came in at zero current");
    w.RtIntegerEditSetVoltage->setValue(blank::Millivolts[0]);
    w.RadioButtonSetVoltage->click();
    for (const int millivolts : blank::Millivolts) {
        w.RtIntegerEditSetVoltage->setValue(millivolts);
        const std::size_t from = history.Size();
        WaitFor([&] { return history.Size() >= from + blank::PointsPerLevel; },
                blank::StageTimeoutMs, "the blank run's points did not come in");
    }
    w.ButtonCalibrateBlankRun->click();
    w.PageControlMain->setCurrentWidget(w.TabSheetExperimentSetup);
    Settle(300);
    const QString path = aFolder.filePath(QStringLiteral("window-blank-run.png"));
    if (!w.grab().save(path)) throw std::runtime_error("cannot write a picture");
    std::printf("%s\n", qPrintable(path));
    w.close();
}

// The page "Thermodynamics" at the size of a laptop's screen, after PID step programs of
// four decades at 700, 750 and 800 °C over a sample of known thermodynamics (dh_O = -100 -
// 200 delta kJ/mol, ds_O = -97.4 + 40 delta J/(mol K)), on a cell of its own: steps end
// once b has settled, the pump current at zero without a leak.
namespace thermodynamics
{
// A save's picture of a graph this large stalls the window's thread, and the pump reading
// after the stall is booked over it: at this speed the values show some of that.
constexpr double TimeScale = 6000;
const QStringList Cell{"--time-scale",      QString::number(TimeScale),
                       "--leak",            "0",
                       "--sample-capacity", "0",
                       "--defect-sample",   "0.0058211770184527:-100:-200:-97.4:40"};
constexpr double MinusLogpO2[] = {1, 2, 3, 4};
constexpr int StageTimeoutMs = 300000;
} // namespace thermodynamics

void RunThermodynamicsProgram(TfrmOxtiva& aWindow)
{
    const int count = static_cast<int>(std::size(thermodynamics::MinusLogpO2));
    while (aWindow.ListBoxStepProgram->count() > count)
        aWindow.ButtonProgramDeleteStep->click();
    for (int i = 0; i < count; ++i) {
        aWindow.ListBoxStepProgram->setCurrentRow(i);
        aWindow.RtDoubleEditEditpO2->setValue(thermodynamics::MinusLogpO2[i]);
        aWindow.ButtonProgramPumpVoltage->click();
    }
    aWindow.RadioButtonPIDStep->click();
    WaitFor([&] { return aWindow.State().ProgramState == TProgramState::ZeroCurrent; },
            thermodynamics::StageTimeoutMs, "a step program over the known sample did not end");
}

void SaveThermodynamicsPage(const QDir& aFolder)
{
    QTemporaryDir programFolder;
    if (!programFolder.isValid()) throw std::runtime_error("no temporary program folder");
    TCellSimulator sim(thermodynamics::Cell);
    auto window = std::make_unique<TfrmOxtiva>(nullptr, programFolder.path());
    TfrmOxtiva& w = *window;
    w.resize(1366, 768);
    w.show();
    w.EditSampleName->setText(QStringLiteral("Known"));
    w.EditSampleFormula->setText(QStringLiteral("CeO2"));
    w.RtDoubleEditPumpCurrentLimit->setValue(0.005);
    w.RtDoubleEditd->setValue(0);
    w.RtDoubleEditVHPS->setValue(0.012 / thermodynamics::TimeScale);
    w.RtDoubleEditVgp->setValue(0);
    w.RtDoubleEditmass0->setValue(1 / thermodynamics::TimeScale);
    w.RtDoubleEditM0->setValue(171.79);
    // The sample starts in equilibrium with the flush gas (0.21 atm) at 800 °C.
    const double startK = 800 + 273.15;
    const double startDelta = (8.314 * startK * std::log(0.21) / 2 + 100e3 - 97.4 * startK) /
                              (-200e3 - 40 * startK);
    w.RtDoubleEditb0->setValue(w.RtDoubleEditbs->value() - startDelta);
    Validate(w, sim);
    w.RtDoubleEditRCDuration->setValue(8);
    w.RtDoubleEditRCThreshold->setValue(1000);
    w.RtDoubleEditContentDrift->setValue(2e-4);
    w.RadioButtonModePassive->click();
    WaitFor([&] { return w.OxygenContent().History().Size() >= 3; }, LeadInTimeoutMs,
            "no data points came in at zero current");
    for (double furnaceC : {700.0, 750.0, 800.0}) {
        sim.Command(QStringLiteral("set furnace %1").arg(furnaceC));
        WaitFor([&] { return std::abs(w.State().CellTemperature - furnaceC) < 0.2; },
                thermodynamics::StageTimeoutMs, "the cell did not follow the furnace");
        RunThermodynamicsProgram(w);
    }
    w.PageControlMain->setCurrentWidget(w.TabSheetThermodynamics);
    Settle(500);
    const QString path = aFolder.filePath(QStringLiteral("window-thermodynamics.png"));
    if (!w.grab().save(path)) throw std::runtime_error("cannot write a picture");
    std::printf("%s\n", qPrintable(path));
    w.close();
}

void TakeScreenshots(const QString& aOutputFolder)
{
    // Absolute now: the window makes its program folder the current directory.
    QDir folder(QDir(aOutputFolder).absolutePath());
    if (!folder.mkpath(QStringLiteral(".")))
        throw std::runtime_error("cannot create the output folder");
    QTemporaryDir programFolder;
    if (!programFolder.isValid()) throw std::runtime_error("no temporary program folder");
    SaveRecoveryOfferPicture(folder); // before anything answers dialogs on its own
    TCellSimulator sim;
    TDialogAccepter accepter;
    auto window = std::make_unique<TfrmOxtiva>(nullptr, programFolder.path());
    window->CheckBoxScroll->setChecked(true); // the grid picture shows the newest rows
    window->resize(LaptopScreen);
    window->show();
    Validate(*window, sim);
    RunExperiment(*window);
    SaveStepProgramPicture(*window, folder);
    SaveWaitingStepPicture(folder);
    SavePages(*window, folder);
    SaveInstrumentAlarm(*window, sim, folder);
    window->close(); // answered Ok; waits until both instrument threads have stopped
    SaveOxygenContentPage(folder);
    SaveBlankRunPicture(folder);
    SaveThermodynamicsPage(folder);
}

} // namespace
} // namespace oxtiva

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const bool thermodynamicsOnly = argc == 3 && argv[2] == std::string_view("thermodynamics");
    if (argc != 2 && !thermodynamicsOnly) {
        std::fprintf(stderr, "usage: oxtiva-screenshots OUTPUT_FOLDER [thermodynamics]\n");
        return 2;
    }
    try {
        if (thermodynamicsOnly) {
            oxtiva::TDialogAccepter accepter;
            oxtiva::SaveThermodynamicsPage(QDir(QDir(QString::fromLocal8Bit(argv[1])).absolutePath()));
            return 0;
        }
        oxtiva::TakeScreenshots(QString::fromLocal8Bit(argv[1]));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "oxtiva-screenshots: %s\n", e.what());
        return 1;
    }
    return 0;
}
