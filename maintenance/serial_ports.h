// The serial ports of this machine as the connection dialogs offer them. A user may also type
// a path (a pseudo terminal) or a "COMn" name; the link library maps "COMn" to /dev/ttyS<n-1>.
#pragma once

#include <QStringList>

// The system paths of the ports present now, in the platform's order.
QStringList SerialPortNames();
