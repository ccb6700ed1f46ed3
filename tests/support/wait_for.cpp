#include "support/wait_for.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace oxtiva::testing
{

bool WaitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

void RunEventsFor(int ms)
{
    WaitFor([] { return false; }, ms);
}

} // namespace oxtiva::testing
