// The controller's startup parameters as the settings dialog shows them: the item lists and
// the mapping between the serial settings byte (baud bits 0-2, data bits 3-4, stop bit 5,
// parity bits 6-7) and the positions in those lists. Plain functions, no widgets.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace global_settings {

// The lists in their order. Baud rates and data bits run from the largest value down, so
// their positions are the codes reversed.
QStringList DeviceItems();    // position = the communication device code
QStringList BaudItems();      // position = 3 - baud code
QStringList DataBitsItems();  // position = 2 - data-bits code
QStringList StopBitsItems();  // position = stop bit
QStringList ParityItems();    // position = parity code
QStringList SlotItems();      // "配置文件槽位0" to "配置文件槽位5"; position = slot

// Positions in the four serial lists; -1 where a code has no item.
struct SerialPositions {
    int baud = -1;
    int dataBits = -1;
    int stopBits = -1;
    int parity = -1;
    bool operator==(const SerialPositions&) const = default;
};

SerialPositions PositionsFromSerialByte(uint8_t serial);
// The byte for the chosen positions. A list without a choice (-1) keeps that field's bits of
// previous, so that a code the lists cannot show is written back unchanged.
uint8_t SerialByteFromPositions(const SerialPositions& positions, uint8_t previous);

// A port number as the dialog shows it: the record's u32 as signed decimal.
QString PortText(uint32_t port);
// A port text back to the record's u32: decimal, with a sign; a text that is not a number
// gives 0.
uint32_t PortValue(const QString& text);

}  // namespace global_settings
