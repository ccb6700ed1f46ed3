#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <optional>

namespace oxtiva::testing
{

// The real oxtiva program, run as its own process (offscreen) for a test that drives it
// with the test switches of its command line and reads what it prints line by line. The
// destructor kills it if it still runs.
class TOxtivaProcess
{
  public:
    explicit TOxtivaProcess(const QStringList& arguments);
    ~TOxtivaProcess();
    TOxtivaProcess(const TOxtivaProcess&) = delete;
    TOxtivaProcess& operator=(const TOxtivaProcess&) = delete;

    // The next line printed, waiting at most timeoutMs; none when the time ran out or the
    // program ended.
    std::optional<QString> NextLine(int timeoutMs);
    // Reads lines until one starts with prefix and returns it; every line read is kept.
    std::optional<QString> LineStartingWith(const QString& prefix, int timeoutMs);

    // SIGKILL, as a crash or a power cut ends the program; then reads what it had printed.
    void Kill();

    // Every line read so far.
    const QStringList& Lines() const { return fLines; }

  private:
    bool TakeLine();

    QProcess fProcess;
    QStringList fLines;
    qsizetype fConsumed = 0;
};

} // namespace oxtiva::testing
