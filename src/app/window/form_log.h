#pragma once

#include "records/logging.h"

namespace oxtiva
{

// The main window's unit logger, category "Form": the pump-cell pO2 lines and the
// relative-change exits. Created switched off; the relative-change computation switches
// it off again after each fit.
TLogger& FormLog();

} // namespace oxtiva
