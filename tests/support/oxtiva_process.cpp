#include "support/oxtiva_process.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QProcessEnvironment>

#include <algorithm>

#ifndef OXTIVA_PROGRAM_PATH
#error "OXTIVA_PROGRAM_PATH must name the oxtiva executable"
#endif

namespace oxtiva::testing
{

TOxtivaProcess::TOxtivaProcess(const QStringList& arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    fProcess.setProcessEnvironment(environment);
    // Qt's own complaints are of no interest to the test.
    fProcess.setStandardErrorFile(QProcess::nullDevice());
    fProcess.start(QStringLiteral(OXTIVA_PROGRAM_PATH), arguments);
    if (!fProcess.waitForStarted(10000))
        ADD_FAILURE() << "oxtiva did not start: " << fProcess.errorString().toStdString();
}

TOxtivaProcess::~TOxtivaProcess()
{
    if (fProcess.state() != QProcess::NotRunning) Kill();
}

bool TOxtivaProcess::TakeLine()
{
    if (!fProcess.canReadLine()) return false;
    QByteArray line = fProcess.readLine();
    if (line.endsWith('\n')) line.chop(1);
    fLines << QString::fromUtf8(line);
    return true;
}

std::optional<QString> TOxtivaProcess::NextLine(int timeoutMs)
{
    if (fConsumed < fLines.size()) return fLines[fConsumed++];
    QDeadlineTimer deadline(timeoutMs);
    while (!TakeLine()) {
        if (fProcess.state() != QProcess::Running || deadline.hasExpired()) return std::nullopt;
        fProcess.waitForReadyRead(int(std::clamp<qint64>(deadline.remainingTime(), 1, 100)));
    }
    return fLines[fConsumed++];
}

std::optional<QString> TOxtivaProcess::LineStartingWith(const QString& prefix, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (const auto line = NextLine(int(std::max<qint64>(1, deadline.remainingTime())))) {
        if (line->startsWith(prefix)) return line;
    }
    return std::nullopt;
}

void TOxtivaProcess::Kill()
{
    fProcess.kill();
    fProcess.waitForFinished(10000);
    while (TakeLine()) {
    }
    // A last line without its end: the program died while printing it.
    const QByteArray rest = fProcess.readAll();
    if (!rest.isEmpty()) fLines << QString::fromUtf8(rest);
}

} // namespace oxtiva::testing
