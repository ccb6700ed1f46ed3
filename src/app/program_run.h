#pragma once

#include "app/program_options.h"

class QApplication;

namespace oxtiva
{

// The program's life after the command line: the main window, the start-up offer of
// unsaved data, the event loop. Returns the exit code.
int RunProgram(QApplication& app, const TProgramOptions& options);

} // namespace oxtiva
