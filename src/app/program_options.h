#pragma once

#include "control/modes.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace oxtiva
{

// Switches that let an automated test drive the real program as its own process. Without
// them the program behaves exactly as without a command line.
struct TTestDriveOptions {
    QString SmuPort;                    // validate the SourceMeter here once started
    QString DmmPort;                    // validate the MultiMeter here once started
    double PointLengthSeconds = 0;      // data point integration time, set before validation
    std::optional<TProgramState> State; // chosen once both instruments are validated
    bool EchoRows = false;              // print every grid row as it enters the grid
    int SaveEveryPoints = 0;            // save after every so many data points
    QString RecoveryAnswer;             // "recover", "keep" or "discard"

    bool Active() const;
};

struct TProgramOptions {
    QString ProgramFolder; // empty: the folder of the running program
    TTestDriveOptions TestDrive;
};

// Reads the command line; --help and --version are answered (and the program ended) by the
// parser. False with the reason when a value cannot be used.
bool ParseProgramOptions(const QStringList& arguments, TProgramOptions& options,
                         QString& errorText);

} // namespace oxtiva
