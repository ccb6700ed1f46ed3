#include "instruments/hand_over_thread.h"

#include <QCoreApplication>
#include <QEvent>

namespace oxtiva
{

THandOverThread::~THandOverThread()
{
    Abandon();
}

// Rules of the blocking hand-over, which keep it free of deadlocks:
// 1. The worker checks its stop flag (here: the teardown flag; stop requests proper are
//    taken over inside a hand-over) before it blocks, and never blocks once teardown has
//    begun.
// 2. The main thread never waits for a worker without running its event loop: the
//    window's close and the validation wait with processEvents, so a pending hand-over
//    always gets to run.
// 3. No blocking call is made during teardown: Abandon() discards a hand-over that is
//    queued but not yet run, which wakes the worker, instead of waiting for it.
bool THandOverThread::RunHandOver(const std::function<void()>& handOver)
{
    if (TearingDown()) return false;
    return QMetaObject::invokeMethod(this, handOver, Qt::BlockingQueuedConnection);
}

void THandOverThread::Abandon()
{
    fTearingDown = true;
    // A discarded blocking call releases the worker waiting on it; the loop catches a
    // hand-over posted just before the worker saw the flag.
    while (!wait(10))
        QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
}

void THandOverThread::SleepUnlessEnded(unsigned long ms, const std::atomic<bool>* stopRequest)
{
    constexpr unsigned long SliceMS = 50;
    for (unsigned long slept = 0;
         slept < ms && !TearingDown() && !(stopRequest && stopRequest->load()); slept += SliceMS)
        msleep(SliceMS);
}

} // namespace oxtiva
