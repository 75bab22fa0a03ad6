// Factories of the three transports, so that the exported functions do not depend on which
// transports a build contains. Each returns a connection whose receive thread runs, or nullptr
// (the failure has been logged). The caller owns the result and deletes it.
#pragma once

#include <cstdint>

#include "basecomm.h"

namespace kvs {

CKVSH_BaseComm* OpenUdpConnection(uint8_t a, uint8_t b, uint8_t c, uint8_t d);
// init is split in place.
CKVSH_BaseComm* OpenUartConnection(char* init);
CKVSH_BaseComm* OpenUsbConnection(int index);
// Stores up to max indexes of attached controllers in ascending order; returns their number.
int ListUsbControllers(int* indexes, int max);

}  // namespace kvs
