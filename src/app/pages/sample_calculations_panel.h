#pragma once

#include <QObject>

namespace oxtiva
{

class TfrmOxtiva;

// Recomputes the derived sample quantities whenever one of the fourteen inputs of the
// "Experiment data" page changes. The result edits are not watched, so writing them does
// not start the computation again.
class TSampleCalculationsPanel : public QObject
{
    Q_OBJECT

  public:
    explicit TSampleCalculationsPanel(TfrmOxtiva& aWindow);

    void SampleCalculations();

  private:
    void RtDoubleEditbsValueChanged();
    void CheckGasVolume();

    TfrmOxtiva& fWindow;
};

} // namespace oxtiva
