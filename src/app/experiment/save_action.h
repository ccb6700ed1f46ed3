#pragma once

#include <QDateTime>
#include <QString>

namespace oxtiva
{

class TfrmOxtiva;

// The operator's save: the "Save" button beside the tabs and Ctrl+S on every page. The
// label beside the button tells what the last one wrote, or that it failed.
void BindSaveAction(TfrmOxtiva& window);

// "Saved Ceria_0003.csv at 14:02:11", or the failure pointing at the caption's reason.
QString SaveFeedbackText(bool saved, const QString& dataFilePath, const QDateTime& localTime);

} // namespace oxtiva
