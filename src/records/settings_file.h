#pragma once

#include <QString>

#include <optional>

namespace oxtiva {

// The constants a blank run (an empty cell) calibrated, so that the next experiment starts
// with them.
struct TCellCalibration {
    double HotVolumeL = 0; // of the empty cell: Vhpws
    double LeakAlpha = 0;  // mol / (s atm^(1/4)), at CellK
    double SealLeak = 0;   // mol / (s atm)
    double CellK = 0;      // the blank run's temperature
    QString At;            // when, "yyyy-mm-ddThh:nn:ss"

    friend bool operator==(const TCellCalibration&, const TCellCalibration&) = default;
};

// The small INI file beside the program that remembers the serial ports of the two
// instruments between runs, and the cell's constants from the last blank run.
class TSettingsFile {
public:
    explicit TSettingsFile(QString path);

    // "<program folder>/<program base name>.ini".
    static QString DefaultPath();

    // An absent file, section or key reads as an empty text.
    QString SmuPort() const;
    QString MultimeterPort() const;

    // Each instrument's section is written only for a validated instrument, so an
    // instrument that is not validated keeps whatever its section held.
    void WriteSmuPort(const QString& port);
    void WriteMultimeterPort(const QString& port);

    // Nothing unless the file holds a whole calibration with a usable volume.
    std::optional<TCellCalibration> CellCalibration() const;
    // Nothing removes the calibration, as before the first blank run.
    void WriteCellCalibration(const std::optional<TCellCalibration>& calibration);

    const QString& Path() const { return fPath; }

private:
    QString fPath;
};

} // namespace oxtiva
