#pragma once

#include "records/journal_format.h"

#include <QString>

#include <functional>
#include <memory>

class QWidget;

namespace oxtiva
{

class TLogDestination;

// At start-up: every journal in the data folder that holds rows no saved data file has is
// offered to the operator (recover, keep for later, discard); a journal whose records all
// read well and whose rows are all in a saved file that still holds them goes without a word.
// Journals another running copy of the program is writing are left alone.
// onRecovered, when given, tells the operator of each recovered file in place of the plain
// notice, with the sample as the questions show it.
using TRecoveredNotice = std::function<void(const QString& writtenFile, const QString& sample)>;
void OfferUnsavedJournals(QWidget* parent, const QString& dataFolder,
                          std::shared_ptr<TLogDestination> log, TRecoveredNotice onRecovered = {});

// The texts of the questions, for a journal's contents.
QString RecoveryQuestion(const TJournalContents& contents, bool savedFileIntact = true);
QString DiscardQuestion(const TJournalContents& contents);

} // namespace oxtiva
