#include "app/zoom_undo_stack.h"

namespace oxtiva
{

void TZoomUndoStack::Push(const TGraphView& aView)
{
    if (fViews.size() == Capacity) fViews.pop_front();
    fViews.push_back(aView);
}

bool TZoomUndoStack::Pop(TGraphView& aView)
{
    if (fViews.empty()) return false;
    aView = fViews.back();
    fViews.pop_back();
    return true;
}

} // namespace oxtiva
