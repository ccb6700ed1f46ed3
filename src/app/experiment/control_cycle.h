#pragma once

#include "control/modes.h"
#include "records/date_time.h"
#include "records/logging.h"

#include <QObject>

class QRadioButton;


namespace oxtiva {

class TfrmOxtiva;
class TNumericEdit;


// The 250 ms control cycle and the operator's choice of program state. Everything here
// runs on the main thread; the threads see the outcome only through their request fields.
class TControlCycle : public QObject {
    Q_OBJECT

public:
    explicit TControlCycle(TfrmOxtiva& window);

    // One pass of the cycle (the window timer's handler).
    void Timer1Timer();

    // Turns the selected radio button into a program state, with confirmation.
    void ChangeModeConfirm();

    // The radio button of a program state, and the state a radio button stands for.
    QRadioButton* ButtonOf(TProgramState state) const;
    const TNumericEdit* EditOf(TProgramState state) const;
    TProgramState StateOf(const QRadioButton* button) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BindRadioButtons();
    void RadioButtonModeOffClick();
    void ExitHandling();
    void ActivePass();
    void NoteWallClockStep();
    enum class TStepLoad { Loaded, Ended, Unreadable };
    TStepLoad LoadStepSetpoint();
    void EndStepProgram();
    void StopAtUnreadableLine();
    void FallBackToZeroCurrent();
    void PidGains();
    void CopyOperatorSettings();
    void ShowPidDebugLines();
    void HandStateToThreads();
    void SelectAsClick(QRadioButton* button);
    QRadioButton* SelectedButton() const;
    void WriteStateRow();
    bool Confirm(const QString& question);

    TfrmOxtiva& fWindow;
    bool fHandlersAttached = true;
    TWallClockWatch fWallClock;
    TLogger fLog{QStringLiteral("Form"), true};
};

} // namespace oxtiva
