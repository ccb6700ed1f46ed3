#pragma once

#include "records/logging.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// Switches a logger on into a log file in a temporary folder for the life of the
// capture, then puts the logger back as it was.
class TLogCapture
{
  public:
    explicit TLogCapture(oxtiva::TLogger& logger)
        : fLogger(logger), fPreviousDestination(logger.Destination()),
          fWasEnabled(logger.Enabled()), fDestination(std::make_shared<oxtiva::TLogDestination>())
    {
        fOpen = fDir.isValid() && fDestination->OpenLogFile(fDir.path());
        fLogger.SetDestination(fDestination);
        fLogger.SetEnabled(true);
    }

    ~TLogCapture()
    {
        fLogger.SetEnabled(fWasEnabled);
        fLogger.SetDestination(fPreviousDestination);
    }

    bool Open() const { return fOpen; }

    // The message texts written so far, without stamp, thread and category.
    QStringList Messages() const
    {
        fDestination->Flush();
        QFile file(fDestination->FilePath());
        if (!file.open(QIODevice::ReadOnly)) return {};
        QStringList messages;
        for (const QString& line :
             QString::fromUtf8(file.readAll()).split(LineEnd(), Qt::SkipEmptyParts))
            messages << line.section(QLatin1Char('\t'), 3);
        return messages;
    }

  private:
    // Log lines end in CR LF on Windows, in LF elsewhere.
    static const QRegularExpression& LineEnd()
    {
        static const QRegularExpression lineEnd(QStringLiteral("\r?\n"));
        return lineEnd;
    }

    oxtiva::TLogger& fLogger;
    std::shared_ptr<oxtiva::TLogDestination> fPreviousDestination;
    bool fWasEnabled;
    QTemporaryDir fDir;
    std::shared_ptr<oxtiva::TLogDestination> fDestination;
    bool fOpen = false;
};
