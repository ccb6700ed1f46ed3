#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace oxtiva::testing
{

// One run of the whole program against the simulated cell while its instruments misbehave:
// both instruments validated, one-second data points, the pump at 100 µA, the cell model
// frozen so that its state is the truth of every reading. The faults are switched on with
// control lines once the experiment runs.
struct TFaultRunOptions {
    QStringList faultLines; // e.g. "late smu 600 0.02"
    int seconds = 15;
};

struct TFaultRunFigures {
    bool ran = false; // validation and the start of the experiment succeeded
    double seconds = 0;
    int smuReadings = 0; // readings the program accepted once the faults were on
    int dmmReadings = 0;
    // Accepted readings, over the whole run, that are not their own command's reply: a
    // reply that came after its exchange had given up, a fragment of one, or another
    // channel's reading.
    int misattributed = 0;
    QStringList misattributedExamples;
    int replies = 0;     // replies the instruments gave
    int lateReplies = 0; // ... after their asker had moved on
    int points = 0;      // data rows in the grid
    double pointsPerMinute = 0;
    int gridValues = 0;    // measured values in those rows
    int valuesOutside = 0; // beyond the simulator's truth ±5 %
    QStringList outsideExamples;
    qint64 longestStallMs = 0;    // longest the main thread's event loop did not run
    qint64 longestCycleGapMs = 0; // longest time between two control-cycle passes

    QString Summary() const;
};

TFaultRunFigures RunFaultScenario(const TFaultRunOptions& options);

// The fault patterns the runs go through.
struct TFaultScenario {
    const char* name;
    QStringList faultLines;
    bool repliesInTime;      // false: no reply ever comes while its asker waits
    double minimumPointRate; // share of the fault-free data point rate a long run must keep
};
std::vector<TFaultScenario> FaultScenarios();

} // namespace oxtiva::testing
