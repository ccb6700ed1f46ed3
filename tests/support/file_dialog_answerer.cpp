#include "support/file_dialog_answerer.h"

#include <QApplication>
#include <QLineEdit>

namespace oxtiva::testing
{

TFileDialogAnswerer::TFileDialogAnswerer()
{
    fPoll.setInterval(10);
    connect(&fPoll, &QTimer::timeout, this, &TFileDialogAnswerer::Poll);
    fPoll.start();
}

void TFileDialogAnswerer::Poll()
{
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    fFolders << dialog->directory().absolutePath();
    fNameFilters = dialog->nameFilters();
    fLastMode = dialog->acceptMode();
    if (fExpected.empty()) {
        ++fUnexpected;
        dialog->reject();
        return;
    }
    const QString path = fExpected.front();
    fExpected.pop_front();
    ++fAnswered;
    if (path.isEmpty()) {
        dialog->reject();
        return;
    }
    // Typed into the file name box: selectFile() leaves the box alone while it has the focus.
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!name) {
        ++fUnexpected;
        dialog->reject();
        return;
    }
    name->setText(path);
    // As the dialog's own button does; the file dialog keeps accept() to itself.
    QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
}

} // namespace oxtiva::testing
