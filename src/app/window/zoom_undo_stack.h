#pragma once

#include <array>
#include <cstddef>
#include <deque>

namespace oxtiva
{

struct TAxisRange {
    double Lower = 0;
    double Upper = 0;
    bool operator==(const TAxisRange&) const = default;
};

// The ranges of the graph's five axes: time first, then the four value axes.
using TGraphView = std::array<TAxisRange, 5>;

// A view the graph showed, and whether its ranges were the automatic ones that follow the
// data: stepping back to such a view must let the graph follow new points again.
struct TZoomStep {
    TGraphView View{};
    bool Automatic = false;
};

// The views the graph showed before each zoom or pan, newest last. It keeps at most
// Capacity views; pushing onto a full stack forgets the oldest one.
class TZoomUndoStack
{
  public:
    static constexpr std::size_t Capacity = 20;

    void Push(const TGraphView& aView, bool aAutomatic = false);
    bool Pop(TZoomStep& aStep); // false when empty
    void Clear() { fViews.clear(); }
    std::size_t Size() const { return fViews.size(); }
    bool Empty() const { return fViews.empty(); }

  private:
    std::deque<TZoomStep> fViews;
};

} // namespace oxtiva
