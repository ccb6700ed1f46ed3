#pragma once

#include "app/window/column_table.h"
#include "control/relative_change.h"

#include <optional>

namespace oxtiva
{

class TExperimentSaver;
class TfrmOxtiva;

// Turns each completed data point into a grid row and graph values, adds the pump-cell
// pO2 values, judges stability by the relative change of pO2 and current, and advances a
// running step program. The grid row is the experiment's record: the stability rules and
// the pump-cell equations read their inputs back from it.
class TDataPointAssembly
{
  public:
    TDataPointAssembly(TfrmOxtiva& window, TExperimentSaver& saver);

    // Once per control-cycle pass; does nothing unless a data point is ready.
    void AddDataUpdates();

    // Relative change in per cent of a quantity over the last RCDuration seconds of the
    // current run; false (aRRC untouched) when it cannot be computed.
    bool GetRRC(double& aRRC, TProperty aColumn);

    // Pump-cell pO2 from the newest grid row, only while the pump passes no current
    // (galvanostatic at 0 µA) and passed none over the whole newest point; false leaves PO
    // unchanged.
    bool CellSidepO2(double& PO);
    bool FlushSidepO2(double& PO);

  private:
    struct TLastRowInputs {
        double TempC = 0;
        double PumpV = 0;
    };
    bool ReadPumpCellInputs(TLastRowInputs& inputs) const;
    QString LastRowCell(TProperty q) const;
    void SetCell(TProperty q, int row, const QString& text);
    QString Cell(TProperty q, int row) const;

    double AppendGraphPoint();
    void WriteMeasuredCells(int row);
    void WriteFlushSide(int row);
    void WritePumpSide(int row, double t);
    void WriteRange(int row);
    void WriteStep(int row);
    void JudgepO2Stability(int row);
    void JudgeCurrentStability(int row);
    // The change over the last RCDuration seconds, relative in per cent and in the column's
    // own units; a column that held one value has no relative change but an absolute 0.
    struct TRcChange {
        std::optional<double> Relative;
        std::optional<double> Absolute;
    };
    TRcChange ChangeOverRC(TProperty aColumn);
    void AdvanceStep(int row);

    TfrmOxtiva& fWindow;
    TExperimentSaver& fSaver;
    TRcGrid fGridView;
    TRelativeChangeWindow fRcWindow;
};

} // namespace oxtiva
