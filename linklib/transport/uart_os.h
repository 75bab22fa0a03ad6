// The platform calls of the serial transport. POSIX termios version in uart_posix.cpp; a file
// on the Windows serial interface can implement the same.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvs {

struct SerialPort;

enum class Parity { kNone, kOdd, kEven };

struct SerialSettings {
    unsigned baud = 115200;
    unsigned data_bits = 8;
    unsigned stop_bits = 1;
    Parity parity = Parity::kNone;
};

// Opens the device at path for reading and writing, exclusively. nullptr when it cannot be
// opened or another program holds it.
SerialPort* SerialOpen(const char* path);
// Applies the line settings. Values the port does not support are skipped, and the port keeps
// what it had for them.
void SerialConfigure(SerialPort* port, const SerialSettings& settings);

enum class SerialWaitResult { kData, kStopped, kHangup };
// Waits without time limit for received bytes, a hang-up of the line or SerialStop.
SerialWaitResult SerialWaitReadable(SerialPort* port);
// Reads what is available (up to cap) without blocking: the bytes read, 0 when none were
// waiting after all, -1 when the line is gone (hung up, end of file, an I/O error).
long SerialRead(SerialPort* port, uint8_t* buf, size_t cap);
// Writes all n bytes within ms milliseconds; false when they could not all be written in time.
bool SerialWrite(SerialPort* port, const uint8_t* data, size_t n, unsigned ms);
// Makes the current or next SerialWaitReadable return kStopped. Any thread.
void SerialStop(SerialPort* port);
// Sleeps up to ms or until SerialStop; true when stopped.
bool SerialPauseUnlessStopped(SerialPort* port, unsigned ms);
void SerialClose(SerialPort* port);

}  // namespace kvs
