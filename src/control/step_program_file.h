#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <limits>
#include <optional>

namespace oxtiva
{

// A step program kept as a file: plain UTF-8 text, one step per line as the list shows it.
// A hand-written file may separate the three columns by any blanks or tabs and hold blank
// lines and "#" comments; each step is laid back into the list's fixed columns, since the
// control cycle reads the lines by character position.

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
// fine, blank lines and lines starting with "#" are skipped. Every step is checked with the
// readers the control cycle and the status bar use, in the locale the list writes with;
// a problem's line number counts every line of the file.
TStepFileContents ParseStepProgramFile(const QByteArray& aBytes, const TStepLimits& aLimits = {});

// One step of a file: its three columns laid into the list's fixed columns, or why not.
struct TStepFileLine {
    QString Line;
    std::optional<QString> Problem;
};
TStepFileLine ReadStepFileLine(const QString& aLine, const TStepLimits& aLimits = {});

// A message quoting a line shows its tabs as arrows: an invisible tab is the likeliest
// reason a line looks right and reads wrong.
QString VisibleTabs(QString aText);

// What is wrong with one line in the list's fixed columns, if anything.
std::optional<QString> StepLineProblem(const QString& aLine, const TStepLimits& aLimits = {});

// The problems for a message box: at most aMostShown lines, then how many more there are.
QString DescribeStepFileProblems(const QList<TStepFileProblem>& aProblems, int aMostShown = 10);

// "<stem>.steps" beside a data file "<stem>.csv": the step program of the run it holds, so
// that taking the settings from the file brings the steps back too.
QString StepsFileBeside(const QString& aDataFilePath);
// Written aside and renamed into place; false with the reason.
bool WriteStepsBeside(const QString& aDataFilePath, const QStringList& aLines, QString& aError);

// A step program file always ends in ".steps"; a name that lacks it gets it appended.
QString WithStepsExtension(const QString& aPath);

} // namespace oxtiva
