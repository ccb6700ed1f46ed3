#pragma once

#include <QObject>
#include <QStringList>

#include <optional>

class QCheckBox;

namespace oxtiva {

class TfrmOxtiva;
class TSerialPort;

// The "Configuration" tab's behaviour: the port list, and the two "Validate instrument"
// buttons that identify an instrument, set it up, record its port and start its thread.
// Every message goes to the validation memo; none is shown in a box.
class TInstrumentValidation : public QObject {
    Q_OBJECT

public:
    explicit TInstrumentValidation(TfrmOxtiva& window);

    void GetAvailableComPorts();
    void Button2000TestClick();
    void ButtonSMUTestClick();

private:
    void Append(const QString& line);
    bool ConfirmDuringRun(const QString& aInstrument, const QString& aWhatStops);
    bool Identify(TSerialPort& serial, const QString& port, int baudRate, int pollMs,
                  QCheckBox& validated, const QString& instrument);
    bool IdentifyMultimeter(const QString& port);
    bool IdentifySmu(const QString& port);
    void SetUpSmu(const QString& port);
    void StartMultimeterThread();
    void StartSmuThread();
    void EnterPausedWhenBothValidated();

    TfrmOxtiva& fWindow;
};

// The memo's lines about the serial ports the system knows: an empty line, the ports under
// "Available COM ports:" (none under it when the list is empty) or "No available COM
// ports!" when there is no list, an empty line and the hint to validate.
QStringList PortListMemoLines(const std::optional<QStringList>& ports);

// Whole units of a limit, rounded half to even as the instruments' front panels do.
int LimitInWholeUnits(double limit, double unitsPerLimitUnit);

} // namespace oxtiva
