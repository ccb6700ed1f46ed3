#include "app/experiment/save_action.h"

#include "app/experiment/experiment_saver.h"
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
    // Saves are written on a thread of their own: the label answers when the save has ended,
    // for the operator's saves and the automatic ones alike.
    window.Saver().AddSaveEndedListener([&window](bool saved) {
        window.LabelLastSave->setText(
            SaveFeedbackText(saved, window.Saver().LastSavedPath(), QDateTime::currentDateTime()));
    });
    const auto save = [&window] {
        window.LabelLastSave->setText(QStringLiteral("Saving…"));
        window.Saver().Save();
    };
    QObject::connect(window.ButtonSave, &QPushButton::clicked, &window, save);
    auto* shortcut = new QShortcut(QKeySequence::Save, &window);
    shortcut->setObjectName(QStringLiteral("ShortcutSave"));
    QObject::connect(shortcut, &QShortcut::activated, &window, save);
}

} // namespace oxtiva
