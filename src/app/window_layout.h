#pragma once

namespace oxtiva
{

class TfrmOxtiva;

// Creates the window's pages, groups and controls with their captions, start values,
// limits and enabled states, and stores each control in the window's member of its name.
void BuildWindowLayout(TfrmOxtiva& aWindow);

// The four start lines of the validation log.
inline constexpr const char* ConfLogStartLines[] = {
    "For best performance a dedicated serial port connection to both instruments through "
    "virtual COM port using RS232 wiring.",
    "",
    "Set up instruments with: Communication: RS-232, no parity, no flow control, 8 bits, CR as "
    "terminator. 19200 baud for Multimeter, 57600 baud ",
    "for SMU"};

} // namespace oxtiva
