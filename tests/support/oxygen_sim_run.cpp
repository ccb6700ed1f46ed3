#include "support/oxygen_sim_run.h"

#include "app/main_window.h"
#include "app/pages/oxygen_content.h"
#include "app/window/experiment_graph.h"
#include "app/window/numeric_edits.h"
#include "records/date_time.h"
#include "support/wait_for.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

namespace oxtiva::testing
{

namespace
{

constexpr double ModelColdEndC = 30;
// The truth is taken this often: often enough to follow the sample between points, seldom
// enough to leave the window's thread to the instrument hand-overs.
constexpr double TruthIntervalS = 0.05;

TCellSimOptions SimOptions(const TOxygenSimRunOptions& o)
{
    TCellSimOptions options;
    options.timeScale = o.TimeScale;
    options.extraArgs = {"--leak",
                         QString::number(o.SealLeak),
                         "--sample-capacity",
                         QString::number(o.SampleCapacityMol),
                         "--leak-alpha",
                         QString::number(o.LeakAlpha),
                         "--gas-volume",
                         QString::number(o.GasVolumeL),
                         "--gradient-volume",
                         QString::number(o.GradientVolumeL),
                         "--sample-slow-share",
                         QString::number(o.SlowShare),
                         "--sample-slow-time-constant",
                         QString::number(o.SlowTimeConstantS),
                         "--current-noise",
                         QString::number(o.CurrentNoise),
                         "--seed",
                         QString::number(o.Seed)};
    options.extraArgs += o.ExtraSimArgs;
    return options;
}

} // namespace

TOxygenSimRun::TOxygenSimRun(const TOxygenSimRunOptions& options)
    : fSim(std::make_unique<TCellSim>(SimOptions(options)))
{
    fWindow = std::make_unique<TfrmOxtiva>(nullptr, fProgramFolder.path());
    TfrmOxtiva& w = *fWindow;
    w.RtDoubleEditDataPointLength->setValue(1);
    w.RtDoubleEditRCDuration->setValue(options.RCDurationS);
    w.RtDoubleEditRCThreshold->setValue(options.RCThresholdPercent);
    w.RtDoubleEditPIDP->setValue(0); // automatic gains
    w.RtDoubleEditPumpCurrentLimit->setValue(options.CurrentLimitA);
    w.RtDoubleEditd->setValue(0); // no sample volume: Vhp = Vhpws
    w.RtDoubleEditVHPS->setValue(options.GasVolumeL / options.TimeScale);
    w.RtDoubleEditVgp->setValue(options.GradientVolumeL / options.TimeScale);
    w.RtDoubleEditTl->setValue(ModelColdEndC);
    w.RtDoubleEditb0->setValue(b0);
    w.RtDoubleEditM0->setValue(SampleMolarMass);
    w.RtDoubleEditmass0->setValue(SampleMassG / options.TimeScale);
    // A step's save stalls the window's thread, and the pump reading that follows the stall
    // carries the new step's current over it: a small picture keeps the stall short. (A
    // tenth of a second is nothing against the hours of a real step, but the sped-up cell
    // turns it into a visible share of one.)
    w.RtGraph2D1->resize(320, 240);
    w.EditSMUCOMPort->setText(fSim->SmuPort());
    w.ButtonSMUTest->click();
    w.Edit2000COMPort->setText(fSim->DmmPort());
    w.Button2000Test->click();
    if (w.State().ProgramState != TProgramState::Paused) {
        ADD_FAILURE() << "the instruments were not validated";
        throw std::runtime_error("validation failed");
    }
}

TOxygenSimRun::~TOxygenSimRun()
{
    if (fWindow && fWindow->State().ProgramState != TProgramState::ToExit) {
        fAnswerer.Expect(QMessageBox::Ok);
        fWindow->close();
    }
    fWindow.reset();
}

QString TOxygenSimRun::UnexpectedDialogs() const
{
    return fAnswerer.Unexpected().join(QStringLiteral(" | "));
}

void TOxygenSimRun::Choose(QRadioButton* button)
{
    fAnswerer.Expect(QMessageBox::Yes);
    button->click();
}

bool TOxygenSimRun::RunStepProgram(const std::vector<double>& minusLogpO2, int timeoutMs)
{
    TfrmOxtiva& w = *fWindow;
    while (w.ListBoxStepProgram->count() > int(minusLogpO2.size()))
        w.ButtonProgramDeleteStep->click();
    for (int i = 0; i < int(minusLogpO2.size()); ++i) {
        w.ListBoxStepProgram->setCurrentRow(i);
        w.RtDoubleEditEditpO2->setValue(-minusLogpO2[i]);
        w.ButtonProgramPumpVoltage->click();
    }
    Choose(w.RadioButtonPIDStep);
    return WaitSampling([&] { return w.State().ProgramState == TProgramState::ZeroCurrent; },
                        timeoutMs);
}

std::vector<TOxygenSimRun::TStepChange> TOxygenSimRun::StepChanges(std::size_t fromIndex) const
{
    const TOxygenHistory& history = fWindow->OxygenContent().History();
    std::vector<TStepChange> changes;
    double programBefore = history.At(fromIndex).Result.b;
    double sampleBefore = TrueContentAt(history.At(fromIndex).Result.TimeS);
    for (const TIsothermPoint& point : history.Isotherm()) {
        const TOxygenRecord& end = history.At(point.Index);
        const double sample = TrueContentAt(end.Result.TimeS);
        changes.push_back(
            {point.Step, end.Input.pO2, end.Result.b - programBefore, sample - sampleBefore});
        programBefore = end.Result.b;
        sampleBefore = sample;
    }
    return changes;
}

void TOxygenSimRun::TakeTruth()
{
    if (!fTruth.empty() && (NowDays() - fTruth.back().Days) * SecondsPerDay < TruthIntervalS)
        return;
    const double given = fSim->KeyValues(QStringLiteral("oxygen"))[QStringLiteral("oxide_delta")];
    fTruth.push_back({NowDays(), given});
}

bool TOxygenSimRun::WaitSampling(const std::function<bool()>& condition, int timeoutMs)
{
    return WaitFor(
        [&] {
            TakeTruth();
            return condition();
        },
        timeoutMs);
}

double TOxygenSimRun::TrueContentAt(double timeS) const
{
    const double days = fWindow->State().StartTime + timeS / SecondsPerDay;
    double given = NAN;
    for (std::size_t i = 1; i < fTruth.size() && std::isnan(given); ++i) {
        const TTruth& a = fTruth[i - 1];
        const TTruth& b = fTruth[i];
        if (b.Days < days || a.Days > days) continue;
        const double f = b.Days > a.Days ? (days - a.Days) / (b.Days - a.Days) : 0;
        given = a.OxideDelta + f * (b.OxideDelta - a.OxideDelta);
    }
    const double n0 = SampleMassG / SampleMolarMass;
    return b0 - 2 * given / n0;
}

} // namespace oxtiva::testing
