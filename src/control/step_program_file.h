#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <limits>
#include <optional>

namespace oxtiva
{

// A step program kept as a file: plain UTF-8 text, one step per line exactly as the list
// shows it. The control cycle reads the lines by character position, so a file is taken
// only when every line reads back the way a line written by the list does.

// The range a step may hold: what the list's two edits let the operator type. A hand-
// edited file cannot sneak in a set point the edits would have refused.
struct TStepLimits {
    double LowestSetpoint = -std::numeric_limits<double>::infinity(); // log(pO2)
    double HighestSetpoint = std::numeric_limits<double>::infinity();
    double LowestMillivolts = -std::numeric_limits<double>::infinity();
    double HighestMillivolts = std::numeric_limits<double>::infinity();
};

// What is wrong with a file; Line is 1-based, 0 for the file as a whole.
struct TStepFileProblem {
    int Line = 0;
    QString What;

    // "line 3: the log(pO2) set point '-4,5x' is not a number", or What alone for Line 0.
    QString Text() const;
    friend bool operator==(const TStepFileProblem&, const TStepFileProblem&) = default;
};

struct TStepFileContents {
    QStringList Lines;                // the steps, when Problems is empty
    QList<TStepFileProblem> Problems; // every bad line, in file order
    bool Ok() const { return Problems.isEmpty(); }
};

// The file's bytes for the list's lines: UTF-8, each line ended by CR LF.
QByteArray StepProgramFileText(const QStringList& aLines);

// Reads a file's bytes: CR LF and LF line ends both count, a missing final line end is
// fine, and blank lines at the end are ignored. Every line is checked with the readers
// the control cycle and the status bar use, in the locale the list writes with.
TStepFileContents ParseStepProgramFile(const QByteArray& aBytes, const TStepLimits& aLimits = {});

// What is wrong with one line, if anything.
std::optional<QString> StepLineProblem(const QString& aLine, const TStepLimits& aLimits = {});

// The problems for a message box: at most aMostShown lines, then how many more there are.
QString DescribeStepFileProblems(const QList<TStepFileProblem>& aProblems, int aMostShown = 10);

// A step program file always ends in ".steps"; a name that lacks it gets it appended.
QString WithStepsExtension(const QString& aPath);

} // namespace oxtiva
