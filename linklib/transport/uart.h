// CKVSH_Uart: a connection to the controller over a serial port (point to point).
//
// Opened from one initialisation text, "PORT" or "PORT:baud-data-stop-parity", which is split
// in place. Each message leaves as one frame in one write, serialised by a per-connection
// lock and bounded by a wait of 2 x (frame length) ms. A receive thread reassembles frames
// from the byte stream; teardown wakes it through the platform's stop signal at once. A line
// that hangs up (the other end vanished) is reported once and no longer read; requests on it
// then fail at once, each with a log line, until the connection is closed.
//
// Threading: Open and the destructor run on the owning thread with no request in progress;
// SendMsg may be called from any thread. The receive thread alone touches the reassembly.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "basecomm.h"
#include "event.h"
#include "frame.h"
#include "uart_os.h"

class CKVSH_Uart : public CKVSH_BaseComm, private kvs::FrameListener {
  public:
    static constexpr unsigned kSettleMs = 200;
    static constexpr unsigned kStopWaitMs = 500;
    static constexpr unsigned kWriteMultiplierMs = 10;
    static constexpr unsigned kWriteConstantMs = 20;
    static constexpr size_t kMaxName = 63;
    // A lost line's thread sleeps in these steps until the stop (which wakes it at once).
    static constexpr unsigned kLostPollMs = 60000;

    CKVSH_Uart();
    ~CKVSH_Uart() override;

    // Opens and configures the port named in init (split in place); starts the receive
    // thread. On failure the reason has been logged and no port or thread is left.
    bool Open(char* init);
    bool SendMsg(const uint8_t* msg, int length) override;

    const char* PortName() const { return name_; }
    void SetSettleMs(unsigned ms) { settle_ms_ = ms; }

  private:
    void OnFrameMessage(const uint8_t* msg, size_t n) override;
    void OnFrameError(kvs::FrameError error, unsigned a, unsigned b) override;
    void ReceiveLoop();
    void Teardown();

    char name_[kMaxName + 1] = "";
    kvs::SerialPort* port_ = nullptr;
    std::thread thread_;
    kvs::Event thread_done_{true};
    kvs::SerialReassembler reassembler_;
    std::mutex write_mu_;            // one write at a time; guards tx_
    std::unique_ptr<uint8_t[]> tx_;  // the frame being written
    unsigned settle_ms_ = kSettleMs;
};

namespace kvs {

// Splits an initialisation text in place: returns the port name (the whole text when it has
// no ':') and fills settings from the fields after the ':' ("-" separated, at most four).
// A baud rate or data bit count that is not a positive number is left at 0 and later skipped
// by the port, which keeps its own value.
const char* ParseUartInit(char* init, SerialSettings* settings);

// The device path of a port name: a path is used as is, "COMn" is the n-th serial port
// (/dev/ttyS<n-1>), any other name lives in /dev. False when the path does not fit.
bool UartDevicePath(const char* name, char* path, size_t size);

}  // namespace kvs
