#pragma once

#include <QThread>

#include <atomic>
#include <functional>

namespace oxtiva
{

// A worker thread whose results reach the shared state only through hand-overs that run
// on the main thread (where this object lives) while the worker waits. Owners stop a
// worker through its request fields and delete it once it reports IsStopped; deleting a
// worker that still runs is safe too, it just ends without further hand-overs.
class THandOverThread : public QThread
{
  public:
    explicit THandOverThread(QObject* parent = nullptr) : QThread(parent) {}
    ~THandOverThread() override;

  protected:
    // Runs handOver on the main thread and waits for it. Returns false, without blocking,
    // once teardown has begun.
    bool RunHandOver(const std::function<void()>& handOver);

    bool TearingDown() const { return fTearingDown.load(); }

    // Ends the worker without running further hand-overs and waits for run() to return.
    // Derived destructors call it first, while the fields the worker uses still exist.
    void Abandon();

    // Sleeps for ms in short slices, so that teardown (and the stop request, where one is
    // given) ends the sleep at once.
    void SleepUnlessEnded(unsigned long ms, const std::atomic<bool>* stopRequest = nullptr);

    // The pause between attempts while the port cannot be opened (an adapter unplugged).
    void PauseBeforeRetry(const std::atomic<bool>& stopRequest)
    {
        SleepUnlessEnded(1000, &stopRequest);
    }

  private:
    std::atomic<bool> fTearingDown{false};
};

} // namespace oxtiva
