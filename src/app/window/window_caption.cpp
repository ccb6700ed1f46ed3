#include "app/window/window_caption.h"

#include <QStringList>
#include <QWidget>

namespace oxtiva
{

QString ComposeCaption(const QString& title, const TCaptionNoticeTexts& notices,
                       const QString& closingText)
{
    if (!closingText.isEmpty()) return closingText;
    QStringList holding;
    for (const QString& text : notices)
        if (!text.isEmpty()) holding << text;
    return holding.isEmpty() ? title : holding.join(QStringLiteral(" | "));
}

TWindowCaption::TWindowCaption(QWidget& window, QString title)
    : fWindow(window), fTitle(std::move(title))
{
    Show();
}

void TWindowCaption::SetNotice(TCaptionNotice notice, const QString& text)
{
    QString& held = fNotices[static_cast<std::size_t>(notice)];
    if (held == text) return;
    held = text;
    Show();
}

const QString& TWindowCaption::Notice(TCaptionNotice notice) const
{
    return fNotices[static_cast<std::size_t>(notice)];
}

void TWindowCaption::SetClosing(const QString& text)
{
    fClosing = text;
    Show();
}

void TWindowCaption::Show()
{
    fWindow.setWindowTitle(ComposeCaption(fTitle, fNotices, fClosing));
}

} // namespace oxtiva
