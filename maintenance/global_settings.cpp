#include "maintenance/global_settings.h"

namespace global_settings {

QStringList DeviceItems() {
    return {QStringLiteral("串口通讯"), QStringLiteral("USB转串口通讯"),
            QStringLiteral("USB口通讯"), QStringLiteral("UDP口通讯")};
}
QStringList BaudItems() { return {"115200", "38400", "19200", "9600"}; }
QStringList DataBitsItems() { return {"8", "7", "6"}; }
QStringList StopBitsItems() { return {"1", "2"}; }
QStringList ParityItems() {
    return {QStringLiteral("无校验"), QStringLiteral("奇校验"), QStringLiteral("偶校验")};
}
QStringList SlotItems() {
    QStringList items;
    for (int i = 0; i < 6; ++i) items << QStringLiteral("配置文件槽位%1").arg(i);
    return items;
}

namespace {
int InRange(int position, int count) { return position >= 0 && position < count ? position : -1; }
}  // namespace

SerialPositions PositionsFromSerialByte(uint8_t serial) {
    SerialPositions p;
    p.baud = InRange(3 - (serial & 7), 4);
    p.dataBits = InRange(2 - ((serial >> 3) & 3), 3);
    p.stopBits = (serial >> 5) & 1;
    p.parity = InRange(serial >> 6, 3);
    return p;
}

uint8_t SerialByteFromPositions(const SerialPositions& p, uint8_t previous) {
    unsigned baud = p.baud >= 0 ? unsigned(3 - p.baud) : previous & 7u;
    unsigned data = p.dataBits >= 0 ? unsigned(2 - p.dataBits) : (previous >> 3) & 3u;
    unsigned stop = p.stopBits >= 0 ? unsigned(p.stopBits) : (previous >> 5) & 1u;
    unsigned parity = p.parity >= 0 ? unsigned(p.parity) : (previous >> 6) & 3u;
    return uint8_t((baud & 7u) | (data & 3u) << 3 | (stop & 1u) << 5 | (parity & 3u) << 6);
}

QString PortText(uint32_t port) { return QString::number(int32_t(port)); }

uint32_t PortValue(const QString& text) {
    bool ok = false;
    qlonglong v = text.trimmed().toLongLong(&ok);
    if (!ok || v < INT32_MIN || v > UINT32_MAX) return 0;
    return uint32_t(v);
}

}  // namespace global_settings
