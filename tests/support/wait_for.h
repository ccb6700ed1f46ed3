#pragma once

#include <functional>

namespace oxtiva::testing
{

// Waits with the event loop running, as the window does: the instrument threads'
// hand-overs and the window's timer need it. False when the condition did not hold
// within timeoutMs.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 20000);

// Serves the event loop for the given time.
void RunEventsFor(int ms);

} // namespace oxtiva::testing
