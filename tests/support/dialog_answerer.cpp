#include "support/dialog_answerer.h"

#include <QAbstractButton>
#include <QApplication>

namespace oxtiva::testing {

TMessageBoxAnswerer::TMessageBoxAnswerer()
{
    fPoll.setInterval(10);
    connect(&fPoll, &QTimer::timeout, this, &TMessageBoxAnswerer::Poll);
    fPoll.start();
}

void TMessageBoxAnswerer::Poll()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    fTexts << box->text();
    if (fExpected.empty()) {
        fUnexpected << box->text();
        box->reject();
        return;
    }
    const QMessageBox::StandardButton answer = fExpected.front();
    fExpected.pop_front();
    ++fAnswered;
    if (QAbstractButton* button = box->button(answer)) button->click();
    else box->reject();
}

} // namespace oxtiva::testing
