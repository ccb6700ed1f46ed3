#pragma once

#include "app/program_options.h"

#include <QObject>
#include <QTimer>

namespace oxtiva
{

class TfrmOxtiva;

// Drives the real program for an automated test that runs it as its own process, as the
// test switches of the command line ask: it validates the instruments, chooses a program
// state, prints every grid row as it enters the grid, saves now and then, and plays the
// operator at every message box, printing what the box said.
class TTestDrive : public QObject
{
    Q_OBJECT

  public:
    TTestDrive(TfrmOxtiva& window, TTestDriveOptions options);

    // Once the start-up questions are answered.
    void Begin();

  private:
    void AnswerMessageBox();
    void RowsEntered();
    void SaveNow();

    TfrmOxtiva& fWindow;
    TTestDriveOptions fOptions;
    QTimer fBoxWatch;
    int fEchoedRows = 0;
    int fDataPoints = 0;
};

} // namespace oxtiva
