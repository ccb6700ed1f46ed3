#pragma once

#include "control/modes.h"

#include <QString>

#include <optional>
#include <vector>

namespace oxtiva
{

// The progress of a running step program as the operator reads it above the list.

// A duration as "hh:mm:ss"; the hours go on past 99 for a step that lasts days. Parts of
// a second are dropped and a negative duration (a clock set back) shows as zero.
QString ElapsedText(double aSeconds);

// What the newest point of a step that has not settled says about why it waits: the
// relative changes (none when not yet known) against the threshold, and the other rules.
struct TStepWait {
    std::optional<double> RCpO2; // per cent
    std::optional<double> RCI;   // per cent
    double Threshold = 0;        // per cent
    bool CurrentAtLimit = false;
    bool ShorterThanRC = false; // the step has not yet lasted the RC duration
    double RCDuration = 0;      // seconds
    bool RangeRule = false;     // a PID step must also come within the threshold of its set point
    bool InRange = false;
    bool NoPointYet = false; // the step has no point yet, so nothing is known
    // The current's change over the RC duration against the change that counts as steady
    // whatever the current (amperes): either rule settles it.
    std::optional<double> CurrentChange;
    double CurrentFloor = 0;
};

// "RC pO2 0.834 % ≥ 0.5 %, RC I 0.120 % < 0.5 %, pO2 not yet within 0.5 % of the set point";
// with the current's change known, "RC I 40.000 % ≥ 0.5 % but change 2.0E-8 A ≤ 1.0E-7 A".
QString StepWaitText(const TStepWait& aWait);

// "Step 2 of 5 · 00:12:30 in step · pO2 stable for 00:01:10" (and ", waiting: RC I 0.8 % ≥
// 0.5 %" while the current has not settled), or "· waiting: " and the reason
// in place of the last part when the step has not settled.
QString StepProgressText(int aStepIndex, int aStepCount, double aSecondsInStep,
                         std::optional<double> aSecondsStable, const TStepWait& aWait = {});

// One data row of the running step: its "Duration, s" and whether it had settled.
struct TStepRow {
    double Time = 0;
    bool Settled = false;
};

// How long the step has been settled without a break, from the newest rows of the step
// (oldest first): from the end of the last unsettled point, or the start of the step when
// every row settled, to the end of the newest point. A settled point counts as settled
// over its whole length. None when the newest row has not settled or there is no row.
std::optional<double> SecondsSettled(const std::vector<TStepRow>& aRows);

} // namespace oxtiva
