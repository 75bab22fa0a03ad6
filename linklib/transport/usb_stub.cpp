// Stand-in used until the USB transport is built: USB fails cleanly and lists nothing.
#include "connections.h"

namespace kvs {

CKVSH_BaseComm* OpenUsbConnection(int) { return nullptr; }
int ListUsbControllers(int*, int) { return 0; }

}  // namespace kvs
