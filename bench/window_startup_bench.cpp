#include "app/main_window.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <benchmark/benchmark.h>
#include <memory>

namespace
{

// Notices the first paint of any widget of one window.
class TFirstPaint : public QObject
{
  public:
    explicit TFirstPaint(const QWidget* aWindow) : fWindow(aWindow) {}
    bool Painted() const { return fPainted; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == fWindow)
            fPainted = true;
        return false;
    }

  private:
    const QWidget* fWindow;
    bool fPainted = false;
};

// From the constructor of the main window until it has painted itself once, offscreen.
void BM_WindowConstructionToFirstPaint(benchmark::State& state)
{
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        auto window = std::make_unique<oxtiva::TfrmOxtiva>();
        TFirstPaint watcher(window.get());
        qApp->installEventFilter(&watcher);
        window->showMaximized();
        while (!watcher.Painted() && clock.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        qApp->removeEventFilter(&watcher);
        if (!watcher.Painted()) state.SkipWithError("the window never painted");
    }
}
BENCHMARK(BM_WindowConstructionToFirstPaint)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(7)
    ->ReportAggregatesOnly(false);

} // namespace
