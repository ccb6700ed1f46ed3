#include "app/window/zoom_undo_stack.h"

namespace oxtiva
{

void TZoomUndoStack::Push(const TGraphView& aView, bool aAutomatic)
{
    if (fViews.size() == Capacity) fViews.pop_front();
    fViews.push_back({aView, aAutomatic});
}

bool TZoomUndoStack::Pop(TZoomStep& aStep)
{
    if (fViews.empty()) return false;
    aStep = fViews.back();
    fViews.pop_back();
    return true;
}

} // namespace oxtiva
