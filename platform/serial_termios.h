// How a DCB becomes termios settings on the default line. Flow control by
// XON/XOFF never goes to the kernel: the port does it itself.
#pragma once

#include <termios.h>

#include "platform/serial.h"

namespace plat {

// Everything but the baud rate, which needs termios2 for odd rates.
void dcb_to_termios(const DCB& dcb, termios& t);

}  // namespace plat
