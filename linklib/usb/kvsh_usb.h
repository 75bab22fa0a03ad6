// CKVSH_USB: a connection to a controller over USB.
//
// Each message goes out as one USB frame in one bulk OUT transfer on endpoint 0x02 (1000 ms
// limit); a receive thread keeps two 65536-byte bulk IN transfers queued on 0x86 and hands the
// message of every good frame to the request engine. On a failed read it tells the engine
// (notice -1), aborts and resets the IN endpoint and queues both reads again; the eleventh
// failure since the last (re)open reopens the device at the same index, which ends in notice 0
// (the thread goes on) or -2 (the thread ends; sends then fail at once).
//
// Threading: SendMsg may be called from any number of threads. The receive thread is the only
// one that replaces the device and its endpoints (during a reopen); it does so under the
// exclusive side of dev_mu_, while every send holds the shared side for the whole transfer, so
// a send never sees a released device. Open is called once, before the object is shared.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <thread>

#include "basecomm.h"
#include "event.h"
#include "frame.h"
#include "usb_device.h"

class CKVSH_USB : public CKVSH_BaseComm {
  public:
    static constexpr uint8_t kOutAddress = 0x02;
    static constexpr uint8_t kInAddress = 0x86;
    // One bulk IN read holds the USB frame of the largest message (65535 bytes + head).
    static constexpr size_t kInSize = kvs::kUsbHeadSize + ((kvs::kMaxFrameMessage + 3) / 4) * 4;
    static constexpr unsigned kOutTimeoutMs = 1000;
    static constexpr unsigned kRecoveryPauseMs = 100;
    static constexpr int kFailuresBeforeReopen = 10;
    static constexpr unsigned kSettleMs = 200;
    static constexpr unsigned kStopWaitMs = 500;

    // Uses the process's active driver when driver is null.
    explicit CKVSH_USB(std::shared_ptr<kvs::usb::UsbDriver> driver = nullptr);
    ~CKVSH_USB() override;

    // Opens the controller at index and starts the receive thread; false when there is no such
    // device or it lacks the two bulk endpoints.
    bool Open(int index);
    bool SendMsg(const uint8_t* msg, int length) override;
    // Teardown: stops the receive thread (reporting when it does not end within 500 ms) and
    // releases the device. Idempotent; the destructor calls it. A class that overrides RecvMsg
    // calls it in its own destructor, before its members go.
    void Close();

    // The settle pause after Open (tests shorten it; the recovery pauses stay as they are).
    void SetSettleMs(unsigned ms) { settle_ms_ = ms; }
    // Reopens done by the receive thread so far (tests).
    int Reopens() const { return reopens_.load(); }

  private:
    // Builds a device on index_ and finds the two bulk endpoints; dev_mu_ held exclusively.
    bool OpenDevice();
    void ReceiveThread();
    // Waits ms unless a stop is asked for; false when stopping.
    bool Pause(unsigned ms);

    std::shared_ptr<kvs::usb::UsbDriver> driver_;
    std::shared_mutex dev_mu_;
    std::unique_ptr<CUsbDriverDevice> device_;
    CCyBulkEndPoint* out_ = nullptr;
    CCyBulkEndPoint* in_ = nullptr;
    int index_ = -1;

    std::thread thread_;
    kvs::Event wake_;         // auto-reset: an IN transfer completed, or stop
    kvs::Event stop_{true};   // manual-reset: teardown asked the thread to end
    kvs::Event ended_{true};  // manual-reset: the thread has left its loop
    std::atomic<bool> stopping_{false};
    std::atomic<int> reopens_{0};
    unsigned settle_ms_ = kSettleMs;
};
