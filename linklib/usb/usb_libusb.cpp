// The real driver: libusb-1.0. Transfers are asynchronous libusb transfers completed on one
// event-handling thread per opened device.
#include <libusb.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <set>
#include <thread>

#include "usb_driver.h"

namespace kvs::usb {

namespace {

XferStatus MapStatus(libusb_transfer_status s) {
    switch (s) {
        case LIBUSB_TRANSFER_COMPLETED:
            return XferStatus::kDone;
        case LIBUSB_TRANSFER_CANCELLED:
            return XferStatus::kCancelled;
        case LIBUSB_TRANSFER_NO_DEVICE:
            return XferStatus::kNoDevice;
        case LIBUSB_TRANSFER_TIMED_OUT:
            return XferStatus::kTimedOut;
        default:
            return XferStatus::kError;
    }
}

// Threading: transfers complete on events_; mu_ guards pending_. Lock order: mu_, then the
// transfer's own lock.
class LibusbDeviceIo final : public UsbDeviceIo {
  public:
    LibusbDeviceIo(libusb_context* ctx, libusb_device_handle* h) : ctx_(ctx), h_(h) {
        events_ = std::thread([this] {
            while (!stop_.load()) {
                timeval tv{0, 100000};
                libusb_handle_events_timeout_completed(ctx_, &tv, nullptr);
            }
        });
    }

    ~LibusbDeviceIo() override {
        {
            std::unique_lock<std::mutex> lock(mu_);
            for (UsbXfer* x : pending_)
                libusb_cancel_transfer(static_cast<libusb_transfer*>(x->driver_data));
            drained_.wait(lock, [this] { return pending_.empty(); });
        }
        stop_.store(true);
        libusb_interrupt_event_handler(ctx_);
        events_.join();
        if (claimed_ >= 0) libusb_release_interface(h_, claimed_);
        libusb_close(h_);
    }

    int Control(uint8_t request_type, uint8_t request, uint16_t value, uint16_t index,
                uint8_t* data, uint16_t length, unsigned timeout_ms) override {
        const int r = libusb_control_transfer(h_, request_type, request, value, index, data, length,
                                              timeout_ms);
        return r < 0 ? -1 : r;
    }

    bool ClaimInterface(uint8_t number, uint8_t alternate) override {
        libusb_set_auto_detach_kernel_driver(h_, 1);
        const int r = libusb_claim_interface(h_, number);
        if (r != 0) {
            std::fprintf(stderr, "KVSH_User: cannot claim USB interface %u: %s\n", number,
                         libusb_strerror(r));
            return false;
        }
        claimed_ = number;
        return alternate == 0 || libusb_set_interface_alt_setting(h_, number, alternate) == 0;
    }

    bool Submit(UsbXfer* x) override {
        libusb_transfer* t = libusb_alloc_transfer(0);
        if (!t) return false;
        if (x->interrupt)
            libusb_fill_interrupt_transfer(t, h_, x->endpoint, x->buffer,
                                           static_cast<int>(x->length), &Done, this, 0);
        else
            libusb_fill_bulk_transfer(t, h_, x->endpoint, x->buffer, static_cast<int>(x->length),
                                      &Done, this, 0);
        std::lock_guard<std::mutex> lock(mu_);
        x->driver_data = t;
        x->Arm();
        pending_.insert(x);
        if (libusb_submit_transfer(t) != 0) {
            pending_.erase(x);
            x->driver_data = nullptr;
            x->Disarm();
            libusb_free_transfer(t);
            return false;
        }
        return true;
    }

    void Cancel(UsbXfer* x) override {
        std::lock_guard<std::mutex> lock(mu_);
        if (pending_.count(x))
            libusb_cancel_transfer(static_cast<libusb_transfer*>(x->driver_data));
    }

    bool AbortPipe(uint8_t ep) override {
        std::lock_guard<std::mutex> lock(mu_);
        for (UsbXfer* x : pending_)
            if (x->endpoint == ep)
                libusb_cancel_transfer(static_cast<libusb_transfer*>(x->driver_data));
        return true;
    }

    bool ResetPipe(uint8_t ep) override { return libusb_clear_halt(h_, ep) == 0; }

  private:
    // Runs on the event thread (inside libusb_handle_events).
    static void LIBUSB_CALL Done(libusb_transfer* t) {
        auto* io = static_cast<LibusbDeviceIo*>(t->user_data);
        const XferStatus st = MapStatus(t->status);
        const size_t actual = t->actual_length > 0 ? static_cast<size_t>(t->actual_length) : 0;
        std::lock_guard<std::mutex> lock(io->mu_);
        for (auto it = io->pending_.begin(); it != io->pending_.end(); ++it) {
            UsbXfer* x = *it;
            if (x->driver_data != t) continue;
            io->pending_.erase(it);
            x->driver_data = nullptr;
            x->Complete(st, actual);
            break;
        }
        libusb_free_transfer(t);
        if (io->pending_.empty()) io->drained_.notify_all();
    }

    libusb_context* ctx_;
    libusb_device_handle* h_;
    int claimed_ = -1;
    std::thread events_;
    std::atomic<bool> stop_{false};
    std::mutex mu_;
    std::condition_variable drained_;
    std::set<UsbXfer*> pending_;
};

class LibusbDriverImpl final : public UsbDriver {
  public:
    LibusbDriverImpl() {
        if (libusb_init(&ctx_) != 0) ctx_ = nullptr;
    }

    std::vector<UsbDeviceId> Enumerate() override {
        std::vector<UsbDeviceId> ids;
        if (!ctx_) return ids;
        libusb_device** list = nullptr;
        const ssize_t n = libusb_get_device_list(ctx_, &list);
        for (ssize_t i = 0; i < n; ++i) {
            libusb_device_descriptor d;
            if (libusb_get_device_descriptor(list[i], &d) != 0) d.idVendor = d.idProduct = 0;
            ids.push_back({d.idVendor, d.idProduct});
        }
        if (list) libusb_free_device_list(list, 1);
        return ids;
    }

    std::unique_ptr<UsbDeviceIo> Open(size_t position) override {
        if (!ctx_) return nullptr;
        libusb_device** list = nullptr;
        const ssize_t n = libusb_get_device_list(ctx_, &list);
        libusb_device_handle* h = nullptr;
        if (n > 0 && position < static_cast<size_t>(n)) {
            libusb_device* dev = list[position];
            const int r = libusb_open(dev, &h);
            if (r == LIBUSB_ERROR_ACCESS)
                std::fprintf(
                    stderr,
                    "KVSH_User: no permission to open USB device %03u/%03u; install the udev "
                    "rule 60-korvessa.rules (see the README)\n",
                    libusb_get_bus_number(dev), libusb_get_device_address(dev));
            if (r != 0) h = nullptr;
        }
        if (list) libusb_free_device_list(list, 1);
        if (!h) return nullptr;
        return std::make_unique<LibusbDeviceIo>(ctx_, h);
    }

  private:
    libusb_context* ctx_ = nullptr;
};

}  // namespace

std::shared_ptr<UsbDriver> LibusbDriver() {
    // One context for the life of the process; never destroyed, so that no static destructor
    // runs libusb_exit under a connection that is still open at exit.
    static auto* driver = new std::shared_ptr<UsbDriver>(std::make_shared<LibusbDriverImpl>());
    return *driver;
}

}  // namespace kvs::usb
