#pragma once

#include "app/window/column_table.h"
#include "science/oxygen_file.h"
#include "science/oxygen_history.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace oxtiva
{

class TfrmOxtiva;

// The balance files' content at one moment, for a save on another thread: the history is
// its own copy, which the window's goes on growing beside.
struct TOxygenFileSnapshot {
    TOxygenFileContent Content; // DataFileName is set once the data file has its name
    std::shared_ptr<const TOxygenHistory> History;
};

// Writes "<stem>_oxygen.csv" and "<stem>_isotherm.csv" beside the data file aDataFilePath;
// runs on any thread. False with the reason in aError.
bool WriteOxygenFiles(const QString& aDataFilePath, const TOxygenFileSnapshot& aSnapshot,
                      QString& aError);

// How a fit's errors were taken, and whether its residuals wander, for the page's text.
QString ErrorsText(double durbinWatson);

// A steady point under PID control, from its row's cells: pO2 and current stable, and in
// range in a PID step program.
bool SteadyPIDCells(const std::function<QString(TProperty)>& cell);

// The live oxygen balance of the window: each data point goes into the balance as it
// becomes a grid row, a completed step adds its point to the isotherm, and every save
// writes the balance beside the data file. A constant the operator changes (alpha, the
// seal leak, the gas volumes, the cold end, the flush gas) holds from the time of the
// change on, alpha at the cell temperature it was measured at; with "Apply to the whole
// run" checked, or for the sample's own constants (b0, n0, bs), the whole run is replayed
// with it.
class TOxygenContent : public QObject
{
    Q_OBJECT

  public:
    explicit TOxygenContent(TfrmOxtiva& aWindow);

    // The ready data point, once its grid row is complete. Points before the first pO2
    // reading cannot start the balance and are left out.
    void AddDataPoint();
    // The newest point completed step aStep (from 1) of a step program.
    void CompleteStep(int aStep);
    // Whether b has settled for a step to end: over the last RCDuration of the step, the
    // fitted drift of b stays within the operator's threshold (none set: always).
    bool ContentSettled() const;
    // What the balance files of a save hold, taken now: the history is a copy that shares
    // its records' chunks, so taking it costs no copy of a month's points, and a save's
    // thread writes it with WriteOxygenFiles while the run goes on.
    TOxygenFileSnapshot FileSnapshot() const;

    const TOxygenHistory& History() const { return fHistory; }

    // The grid row of the last steady point under PID control: pO2 and current stable
    // (and in range in a PID step program); nothing when there is none. Such points make
    // up the holds the leak is estimated from.
    std::optional<int> LastSteadyPIDRow() const;
    // "Estimate" under the leak constants: fits the chosen leak law over the steady holds
    // and sets its constants, or says why not; "Undo" brings back the ones before it.
    void ButtonEstimateLeakAlphaClick();
    void ButtonUndoLeakEstimateClick();
    // Sets the leak constants' edits, alpha as measured at aCellK.
    void SetLeakConstants(double aAlpha, double aSeal, double aCellK);

  private:
    bool SteadyPIDRow(int row) const;
    TOxygenBalanceConstants ConstantsFromEdits() const;
    void ConstantsChanged();
    void WholeRunToggled(bool aChecked);
    // The run seconds from which a change made now holds: never before the newest point.
    double ChangeTimeS() const;
    void ShowReplayed();
    void ShowCurrent();

    struct TLeakConstants {
        double Alpha;
        double Seal;
    };

    TfrmOxtiva& fWindow;
    TOxygenHistory fHistory;
    std::optional<TLeakConstants> fBeforeEstimate;
    // The temperature of the holds an estimate or a blank run comes from, while it sets
    // its alpha.
    std::optional<double> fEstimateK;
    // A pause came since the newest booked point, perhaps before a point left unbooked.
    bool fPauseUnbooked = false;
};

} // namespace oxtiva
