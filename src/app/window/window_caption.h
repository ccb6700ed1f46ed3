#pragma once

#include <QString>

#include <array>

class QWidget;

namespace oxtiva
{

// What the operator must notice without looking for it. Several can hold at once; the
// caption shows every one that holds, in this order (the most urgent first).
enum class TCaptionNotice {
    InstrumentAlarm, // an instrument has given no good reading for too long
    JournalFailed,   // data points are not reaching the disk
    SaveFailed,      // the last save did not write its files
    StepProgram,     // a step program ended, or stopped at a line it could not read
    LogFailed,       // the log file could not be opened: nothing is logged
};
inline constexpr int CaptionNoticeCount = 5;

// The texts of the notices that hold, indexed by TCaptionNotice; an empty text does not hold.
using TCaptionNoticeTexts = std::array<QString, CaptionNoticeCount>;

// The caption for a set of notices: the plain title when none holds, otherwise the notices
// joined by " | ". While the window closes, the closing text replaces everything, since the
// program then only waits for its threads.
QString ComposeCaption(const QString& title, const TCaptionNoticeTexts& notices,
                       const QString& closingText);

// The window caption as the one place where notices meet: each concern sets or clears its
// own notice, and no concern overwrites another's.
class TWindowCaption
{
  public:
    TWindowCaption(QWidget& window, QString title);

    void SetNotice(TCaptionNotice notice, const QString& text);
    void ClearNotice(TCaptionNotice notice) { SetNotice(notice, QString()); }
    const QString& Notice(TCaptionNotice notice) const;
    bool Holds(TCaptionNotice notice) const { return !Notice(notice).isEmpty(); }

    // From now on the caption says only that the window waits for its threads.
    void SetClosing(const QString& text);

  private:
    void Show();

    QWidget& fWindow;
    QString fTitle;
    TCaptionNoticeTexts fNotices;
    QString fClosing;
};

} // namespace oxtiva
