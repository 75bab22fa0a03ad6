// The mapping of the serial line settings onto a termios record (POSIX only; uart_posix.cpp).
#pragma once

#include <termios.h>

#include "uart_os.h"

namespace kvs {

// Puts t into raw mode with the chosen settings; unsupported values leave t's own.
void ApplySerialSettings(termios* t, const SerialSettings& settings);

}  // namespace kvs
