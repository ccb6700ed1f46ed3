#pragma once

#include <QFileDialog>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <deque>

namespace oxtiva::testing
{

// Plays the operator at the window's own (non-native) file dialogs: each dialog that opens
// gets the next expected path typed in and accepted, or is cancelled for an empty path.
// The folder each dialog opened in and its filters are kept for the test to check; a
// dialog nobody expected is cancelled and counted, so a test fails instead of hanging.
class TFileDialogAnswerer : public QObject
{
  public:
    TFileDialogAnswerer();
    void Expect(const QString& path) { fExpected.push_back(path); }
    int Answered() const { return fAnswered; }
    int Unexpected() const { return fUnexpected; }
    const QStringList& Folders() const { return fFolders; }
    const QStringList& NameFilters() const { return fNameFilters; } // of the newest dialog
    QFileDialog::AcceptMode LastMode() const { return fLastMode; }

  private:
    void Poll();

    QTimer fPoll;
    std::deque<QString> fExpected;
    int fAnswered = 0;
    int fUnexpected = 0;
    QStringList fFolders;
    QStringList fNameFilters;
    QFileDialog::AcceptMode fLastMode = QFileDialog::AcceptOpen;
};

} // namespace oxtiva::testing
