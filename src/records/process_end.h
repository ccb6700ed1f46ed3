#pragma once

namespace oxtiva
{

// Ends the process with code once main's own objects are gone. On Windows the run-time
// libraries' clean-up at process end can wait forever after the save and writer threads
// have run (seen under Wine: the C++ run-time's detach never returns), which would leave
// an invisible program behind; everything of ours is closed and flushed by then, so the
// process ends without that clean-up. Elsewhere it returns code for main to return.
int EndProcess(int code);

} // namespace oxtiva
