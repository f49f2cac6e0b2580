// How a DCB becomes termios settings on the default line. Flow control by
// XON/XOFF never goes to the kernel: the port does it itself.
#pragma once

#include <termios.h>

#include <string>

#include "platform/serial.h"

namespace plat {

// Everything but the baud rate, which needs termios2 for odd rates.
void dcb_to_termios(const DCB& dcb, termios& t);

// Why the calling thread's last open of a line failed, in words; a line
// factory sets it, open_comm reports it (last_comm_open_error).
void set_comm_open_error(std::string text);
std::string take_comm_open_error();

}  // namespace plat
