// The driver seam under the USB device layer.
//
// A UsbDriver enumerates the attached devices and opens one; an opened device (UsbDeviceIo)
// carries control requests and asynchronous bulk/interrupt transfers. Two drivers exist:
// libusb (real hardware) and the simulated driver, which reaches simulated controllers over
// Unix-domain sockets. ActiveUsbDriver() picks one from the environment (usb_driver.cpp).
//
// The device layer above (CUsbDriverDevice and the endpoint classes) is written against this
// seam only, so it never includes a platform header.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "event.h"

namespace kvs::usb {

enum class XferStatus : uint8_t {
    kIdle,       // never submitted
    kPending,    // submitted, not completed yet
    kDone,       // completed, data moved
    kError,      // completed with an I/O error (stall, overflow, bus error)
    kCancelled,  // completed because it was cancelled (abort, timeout)
    kNoDevice,   // completed because the device is gone
    kTimedOut,   // completed by the driver's own timeout
};

// The completion record of one asynchronous transfer (the counterpart of an overlapped I/O
// record). The caller owns it and the data buffer; both must outlive the transfer, which ends
// only when Complete() has been called. A transfer that is pending is cancelled with
// UsbDeviceIo::Cancel and then waited for with WaitCompleted() before either is released.
//
// Threading: the driver calls Complete() on its own thread; any thread may wait.
class UsbXfer {
  public:
    UsbXfer() = default;
    UsbXfer(const UsbXfer&) = delete;
    UsbXfer& operator=(const UsbXfer&) = delete;

    // Set by the submitter before Submit().
    uint8_t endpoint = 0;
    bool interrupt = false;  // an interrupt endpoint (else bulk)
    uint8_t* buffer = nullptr;
    size_t length = 0;
    Event* notify = nullptr;  // also signalled on completion (shared by several transfers)

    // Marks the transfer submitted; called by the driver before it can complete.
    void Arm() {
        std::lock_guard<std::mutex> lock(m_);
        status_ = XferStatus::kPending;
        actual_ = 0;
    }
    // Undoes Arm() when the driver could not start the transfer after all.
    void Disarm() {
        std::lock_guard<std::mutex> lock(m_);
        status_ = XferStatus::kIdle;
    }
    // Called by the driver exactly once per submitted transfer.
    void Complete(XferStatus status, size_t actual) {
        Event* n;
        {
            std::lock_guard<std::mutex> lock(m_);
            status_ = status;
            actual_ = actual;
            n = notify;
            cv_.notify_all();
        }
        if (n) n->Set();
    }
    bool Pending() const {
        std::lock_guard<std::mutex> lock(m_);
        return status_ == XferStatus::kPending;
    }
    // True when the transfer is not pending (any more) within ms milliseconds.
    bool WaitCompleted(unsigned ms) {
        std::unique_lock<std::mutex> lock(m_);
        return cv_.wait_for(lock, std::chrono::milliseconds(ms),
                            [this] { return status_ != XferStatus::kPending; });
    }
    void WaitCompleted() {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [this] { return status_ != XferStatus::kPending; });
    }
    XferStatus status() const {
        std::lock_guard<std::mutex> lock(m_);
        return status_;
    }
    size_t actual() const {
        std::lock_guard<std::mutex> lock(m_);
        return actual_;
    }

    // Driver's private state for this transfer (for example its libusb transfer).
    void* driver_data = nullptr;

  private:
    mutable std::mutex m_;
    std::condition_variable cv_;
    XferStatus status_ = XferStatus::kIdle;
    size_t actual_ = 0;
};

// An opened device. Destroying it cancels and waits out every pending transfer, then closes.
// Threading: every member may be called from any thread.
class UsbDeviceIo {
  public:
    virtual ~UsbDeviceIo() = default;
    // A synchronous control transfer on endpoint 0. Returns the bytes moved, or -1.
    virtual int Control(uint8_t request_type, uint8_t request, uint16_t value, uint16_t index,
                        uint8_t* data, uint16_t length, unsigned timeout_ms) = 0;
    // Takes the interface for this process (and selects its alternate setting).
    virtual bool ClaimInterface(uint8_t number, uint8_t alternate) = 0;
    // Starts a bulk or interrupt transfer; false when it could not start (then the record has
    // not been armed and will not complete).
    virtual bool Submit(UsbXfer* xfer) = 0;
    // Asks the driver to end xfer early; it then completes as cancelled (or has completed).
    virtual void Cancel(UsbXfer* xfer) = 0;
    // Cancels every pending transfer on the endpoint.
    virtual bool AbortPipe(uint8_t endpoint) = 0;
    // Clears the endpoint's halt condition and data toggle.
    virtual bool ResetPipe(uint8_t endpoint) = 0;
};

struct UsbDeviceId {
    uint16_t vendor = 0;
    uint16_t product = 0;
};

class UsbDriver {
  public:
    virtual ~UsbDriver() = default;
    // Every attached device in the driver's enumeration order.
    virtual std::vector<UsbDeviceId> Enumerate() = 0;
    // Opens the device at position (in Enumerate() order); nullptr when it cannot be opened.
    virtual std::unique_ptr<UsbDeviceIo> Open(size_t position) = 0;
};

// The environment variable that selects the simulated driver: a ':'-separated list of
// Unix-domain socket paths, one per simulated controller, in enumeration order.
constexpr const char* kSimEnvVar = "KVSH_USB_SIM";

// The driver this process uses: the simulated one when KVSH_USB_SIM is set (read on each
// call, so that tests may change it between connections), else libusb. Never null.
std::shared_ptr<UsbDriver> ActiveUsbDriver();

// The real driver (one per process, never destroyed) and the simulated driver over the given
// socket paths (usb_libusb.cpp, usb_sim_driver.cpp).
std::shared_ptr<UsbDriver> LibusbDriver();
std::shared_ptr<UsbDriver> MakeSimDriver(std::vector<std::string> paths);

}  // namespace kvs::usb
