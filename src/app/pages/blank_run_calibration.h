#pragma once

#include "records/settings_file.h"

#include <QObject>

#include <optional>

namespace oxtiva
{

class TfrmOxtiva;

// "Calibrate" beside "Blank run, empty cell" under the cell constants: over a run of the
// empty cell it fits the gas volume of the hot part and the chosen leak law's constants,
// shows them with their errors and what they stood on, and stores them as the cell's
// constants: in the edits, from the time of the calibration on like any other change, and
// in the settings file, from which the next experiment starts. "Undo" brings back the
// constants before it, in both.
class TBlankRunCalibration : public QObject
{
    Q_OBJECT

  public:
    explicit TBlankRunCalibration(TfrmOxtiva& aWindow);

    void ButtonCalibrateBlankRunClick();
    void ButtonUndoBlankRunCalibrationClick();

    // Puts the stored calibration into the edits at start-up and says where they came from.
    static void LoadStored(TfrmOxtiva& aWindow);

  private:
    struct TBefore {
        double VolumeL;
        double Alpha;
        double Seal;
        std::optional<TCellCalibration> Stored;
    };

    TfrmOxtiva& fWindow;
    std::optional<TBefore> fBefore;
};

} // namespace oxtiva
