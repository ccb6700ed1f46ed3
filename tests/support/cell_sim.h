#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <map>

namespace oxtiva::testing
{

struct TCellSimOptions {
    double timeScale = 1.0;
    int latencyMs = 0;
    bool modelWireTime = false;
    QStringList extraArgs; // e.g. {"--fault-dmm", "front-inputs"} or {"--noise", "0"}
};

// Runs oxtiva-cellsim for one test: its two serial links live in a temporary folder of
// their own, so tests never share a port. The destructor ends the simulator and leaves
// neither process nor link behind.
class TCellSim
{
  public:
    // Waits up to 10 s for the simulator's "ready"; records a test failure and throws
    // std::runtime_error when it does not come.
    explicit TCellSim(const TCellSimOptions& options = {});
    ~TCellSim();
    TCellSim(const TCellSim&) = delete;
    TCellSim& operator=(const TCellSim&) = delete;

    QString SmuPort() const; // the symlink path, usable as a port name
    QString DmmPort() const;

    // Sends one control line and returns its one-line answer (empty after 5 s of
    // silence, with a test failure recorded).
    QString Command(const QString& line);

    // The `state` line as numbers; `source` becomes 0 for "curr" and 1 for "volt".
    std::map<QString, double> State();
    // Any control line answered with key=value pairs, such as "oxygen", as numbers.
    std::map<QString, double> KeyValues(const QString& line);

  private:
    QString ReadLine(int timeoutMs);
    void Stop();

    QTemporaryDir fDir;
    QProcess fProcess;
};

} // namespace oxtiva::testing
