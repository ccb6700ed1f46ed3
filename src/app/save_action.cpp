#include "app/save_action.h"

#include "app/experiment_saver.h"
#include "app/main_window.h"

#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>

namespace oxtiva
{

QString SaveFeedbackText(bool saved, const QString& dataFilePath, const QDateTime& localTime)
{
    const QString time = localTime.toString(QStringLiteral("hh:mm:ss"));
    if (!saved) return QStringLiteral("Not saved at %1: see the caption").arg(time);
    return QStringLiteral("Saved %1 at %2").arg(QFileInfo(dataFilePath).fileName(), time);
}

void BindSaveAction(TfrmOxtiva& window)
{
    const auto save = [&window] {
        const bool saved = window.Saver().Save();
        window.LabelLastSave->setText(
            SaveFeedbackText(saved, window.Saver().LastSavedPath(), QDateTime::currentDateTime()));
    };
    QObject::connect(window.ButtonSave, &QPushButton::clicked, &window, save);
    auto* shortcut = new QShortcut(QKeySequence::Save, &window);
    shortcut->setObjectName(QStringLiteral("ShortcutSave"));
    QObject::connect(shortcut, &QShortcut::activated, &window, save);
}

} // namespace oxtiva
