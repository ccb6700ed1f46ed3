#include "app/experiment/thermodynamics_binding.h"

#include "app/experiment/experiment_saver.h"
#include "app/main_window.h"
#include "app/pages/oxygen_content.h"
#include "app/pages/thermodynamics_page.h"
#include "records/safe_file_name.h"
#include "science/thermodynamics_file.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

namespace oxtiva
{

namespace
{

void SaveThermodynamics(TfrmOxtiva& w)
{
    TThermodynamicsPage& page = *w.TabSheetThermodynamics;
    const QString dataFile = w.Saver().LastSavedPath();
    if (dataFile.isEmpty()) {
        page.ShowMessage(QStringLiteral("No data file saved yet: the thermodynamics go beside "
                                        "the newest one."));
        return;
    }
    const QString stem = SafeFileName(w.EditSampleName->text());
    QString error;
    if (WriteThermodynamicsFileBeside(dataFile, stem, page.Input(), error))
        page.ShowMessage(QStringLiteral("Saved ") +
                         QDir::toNativeSeparators(
                             QFileInfo(dataFile).dir().filePath(ThermodynamicsFileName(stem))));
    else
        page.ShowMessage(QStringLiteral("Not saved: ") + error);
}

} // namespace

void BindThermodynamicsPage(TfrmOxtiva& w)
{
    TThermodynamicsPage& page = *w.TabSheetThermodynamics;
    page.SetRunningSource([&w] {
        return IsothermOfHistory(w.OxygenContent().History(), QString(), w.EditSampleName->text(),
                                 w.EditSampleFormula->text());
    });
    w.Saver().AddSaveEndedListener([&page](bool) { page.Refresh(); });
    QObject::connect(page.ButtonSaveThermodynamics, &QPushButton::clicked, &page,
                     [&w] { SaveThermodynamics(w); });
}

} // namespace oxtiva
