#pragma once

#include <QMessageBox>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <deque>

namespace oxtiva::testing {

// Plays the operator at modal message boxes: each box that opens is answered with the next
// expected button, the way a person would click it, while the dialog's own event loop keeps
// the window's timer running. A box nobody expected is counted, its text kept, and
// dismissed, so a test fails instead of hanging.
class TMessageBoxAnswerer : public QObject {
public:
    TMessageBoxAnswerer();
    void Expect(QMessageBox::StandardButton button) { fExpected.push_back(button); }
    int Answered() const { return fAnswered; }
    const QStringList& Unexpected() const { return fUnexpected; }
    const QStringList& Texts() const { return fTexts; } // every box's text, in order

private:
    void Poll();

    QTimer fPoll;
    std::deque<QMessageBox::StandardButton> fExpected;
    int fAnswered = 0;
    QStringList fUnexpected;
    QStringList fTexts;
};

} // namespace oxtiva::testing
