#include "maintenance/serial_ports.h"

#include <QSerialPortInfo>

QStringList SerialPortNames() {
    QStringList ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports << info.systemLocation();
    return ports;
}
