#include "app/program_run.h"

#include "app/experiment/experiment_settings_import.h"
#include "app/experiment/journal_recovery.h"
#include "app/main_window.h"
#include "app/test_drive.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

namespace oxtiva
{

int RunProgram(QApplication& app, const TProgramOptions& options)
{
    TfrmOxtiva frmOxtiva(nullptr, options.ProgramFolder);
    TTestDrive* drive =
        options.TestDrive.Active() ? new TTestDrive(frmOxtiva, options.TestDrive) : nullptr;
    frmOxtiva.showMaximized();
    // Asked over the shown window, before any instrument is validated and any new row exists.
    QTimer::singleShot(0, &frmOxtiva, [&frmOxtiva, drive] {
        OfferUnsavedJournals(
            &frmOxtiva, QDir(frmOxtiva.ProgramFolder()).filePath(QStringLiteral("Userdata")),
            frmOxtiva.LogDestination(), [&frmOxtiva](const QString& file, const QString& sample) {
                OfferRecoveredSettings(frmOxtiva, file, sample);
            });
        if (drive) drive->Begin();
    });
    return app.exec();
}

} // namespace oxtiva
