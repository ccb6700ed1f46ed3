#include "support/cell_sim.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>

#include <algorithm>

#include <stdexcept>

#ifndef OXTIVA_CELLSIM_PATH
#error "OXTIVA_CELLSIM_PATH must name the oxtiva-cellsim executable"
#endif

namespace oxtiva::testing
{

TCellSim::TCellSim(const TCellSimOptions& options)
{
    if (!fDir.isValid()) {
        ADD_FAILURE() << "cannot create a temporary folder for the simulator's links";
        throw std::runtime_error("no temporary folder for oxtiva-cellsim");
    }
    QStringList args{"--smu-link",   SmuPort(),
                     "--dmm-link",   DmmPort(),
                     "--time-scale", QString::number(options.timeScale, 'g', 17),
                     "--latency-ms", QString::number(options.latencyMs)};
    if (options.modelWireTime) args << "--model-wire-time";
    args << options.extraArgs;
    // The simulator's complaints belong in the test's own output.
    fProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    fProcess.start(QStringLiteral(OXTIVA_CELLSIM_PATH), args);
    const QString first = fProcess.waitForStarted(10000) ? ReadLine(10000) : QString();
    if (first != QLatin1String("ready")) {
        Stop();
        ADD_FAILURE() << "oxtiva-cellsim did not become ready: " << first.toStdString()
                      << fProcess.errorString().toStdString();
        throw std::runtime_error("oxtiva-cellsim did not become ready");
    }
}

TCellSim::~TCellSim()
{
    Stop();
}

void TCellSim::Stop()
{
    if (fProcess.state() == QProcess::NotRunning) return;
    if (fProcess.state() == QProcess::Running) {
        fProcess.write("quit\n");
        fProcess.closeWriteChannel();
        if (fProcess.waitForFinished(3000)) return;
    }
    fProcess.kill();
    fProcess.waitForFinished(3000);
}

QString TCellSim::SmuPort() const
{
    return fDir.filePath(QStringLiteral("smu"));
}

QString TCellSim::DmmPort() const
{
    return fDir.filePath(QStringLiteral("dmm"));
}

QString TCellSim::ReadLine(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!fProcess.canReadLine()) {
        if (fProcess.state() != QProcess::Running || deadline.hasExpired()) return {};
        fProcess.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    }
    return QString::fromUtf8(fProcess.readLine()).chopped(1);
}

QString TCellSim::Command(const QString& line)
{
    fProcess.write(line.toUtf8() + '\n');
    fProcess.waitForBytesWritten(5000);
    if (!fProcess.canReadLine() && fProcess.state() != QProcess::Running) {
        ADD_FAILURE() << "oxtiva-cellsim is not running; control line: " << line.toStdString();
        return {};
    }
    QDeadlineTimer deadline(5000);
    while (!fProcess.canReadLine() && !deadline.hasExpired() &&
           fProcess.state() == QProcess::Running)
        fProcess.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    if (!fProcess.canReadLine()) {
        ADD_FAILURE() << "oxtiva-cellsim gave no answer to: " << line.toStdString();
        return {};
    }
    return QString::fromUtf8(fProcess.readLine()).chopped(1);
}

std::map<QString, double> TCellSim::State()
{
    return KeyValues(QStringLiteral("state"));
}

std::map<QString, double> TCellSim::KeyValues(const QString& controlLine)
{
    std::map<QString, double> state;
    const QString line = Command(controlLine);
    for (const QString& pair : line.split(u' ', Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(u'=');
        if (eq <= 0) continue;
        const QString key = pair.left(eq);
        const QString value = pair.mid(eq + 1);
        bool ok = false;
        const double number = value.toDouble(&ok);
        if (ok)
            state[key] = number;
        else if (key == QLatin1String("source"))
            state[key] = value == QLatin1String("volt") ? 1 : 0;
    }
    if (state.empty()) ADD_FAILURE() << "unreadable state line: " << line.toStdString();
    return state;
}

} // namespace oxtiva::testing
