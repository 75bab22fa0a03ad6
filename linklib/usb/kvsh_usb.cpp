#include "kvsh_usb.h"

#include <chrono>
#include <mutex>

#include "connections.h"
#include "frame.h"
#include "log.h"
#include "usb_sim_wire.h"

using kvs::usb::UsbXfer;

CKVSH_USB::CKVSH_USB(std::shared_ptr<kvs::usb::UsbDriver> driver)
    : driver_(driver ? std::move(driver) : kvs::usb::ActiveUsbDriver()) {}

CKVSH_USB::~CKVSH_USB() { Close(); }

void CKVSH_USB::Close() {
    if (thread_.joinable()) {
        stopping_.store(true);
        stop_.Set();
        wake_.Set();
        if (!ended_.Wait(kStopWaitMs)) kvs::Log(KVS_LEVEL_ERROR, kvs::TextId::kUsbStopThread);
        // The thread's pauses end on the stop event, so it always ends; the device must not be
        // released under it.
        thread_.join();
    }
    std::unique_lock<std::shared_mutex> lock(dev_mu_);
    out_ = in_ = nullptr;
    device_.reset();
}

bool CKVSH_USB::OpenDevice() {
    out_ = in_ = nullptr;
    device_.reset();
    auto dev = std::make_unique<CUsbDriverDevice>(driver_);
    if (!dev->Open(index_)) return false;
    CCyBulkEndPoint* out = nullptr;
    CCyBulkEndPoint* in = nullptr;
    for (int i = 1; i < dev->EndPointCount(); ++i) {
        CCyUSBEndPoint* ep = dev->EndPoint(i);
        if ((ep->Attributes & 3) != kvs::usb::kEpBulk) continue;
        if (ep->Address == kOutAddress) out = static_cast<CCyBulkEndPoint*>(ep);
        if (ep->Address == kInAddress) in = static_cast<CCyBulkEndPoint*>(ep);
    }
    if (!out || !in) return false;
    device_ = std::move(dev);
    out_ = out;
    in_ = in;
    return true;
}

bool CKVSH_USB::Open(int index) {
    {
        std::unique_lock<std::shared_mutex> lock(dev_mu_);
        if (device_ || thread_.joinable()) return false;
        index_ = index;
        if (!OpenDevice()) return false;
    }
    thread_ = std::thread([this] { ReceiveThread(); });
    // Give the device a moment to see the queued reads before the first request.
    std::this_thread::sleep_for(std::chrono::milliseconds(settle_ms_));
    return true;
}

bool CKVSH_USB::SendMsg(const uint8_t* msg, int length) {
    if (!msg || length < 0 || static_cast<size_t>(length) > kvs::kMaxFrameMessage) return false;
    const size_t size = kvs::UsbFrameSize(static_cast<size_t>(length));
    std::unique_ptr<uint8_t[]> frame(new uint8_t[size]);
    kvs::EncodeUsbFrame(msg, static_cast<size_t>(length), frame.get());

    std::shared_lock<std::shared_mutex> lock(dev_mu_);
    if (!device_ || !out_) return false;
    UsbXfer xfer;
    if (!out_->BeginDataXfer(frame.get(), size, &xfer)) return false;
    const bool in_time = out_->WaitForXfer(&xfer, kOutTimeoutMs);
    // A transfer that did not finish in time is still queued in the driver: FinishDataXfer
    // cancels it and waits for its completion, so the frame buffer and the record are no
    // longer referenced when they are released here.
    size_t moved = 0;
    const bool done = out_->FinishDataXfer(frame.get(), &moved, &xfer);
    return in_time && done && moved == size;
}

bool CKVSH_USB::Pause(unsigned ms) { return !stop_.Wait(ms); }

void CKVSH_USB::ReceiveThread() {
    std::unique_ptr<uint8_t[]> buf[2] = {std::unique_ptr<uint8_t[]>(new uint8_t[kInSize]),
                                         std::unique_ptr<uint8_t[]>(new uint8_t[kInSize])};
    UsbXfer xfer[2];
    bool queued[2] = {false, false};
    xfer[0].notify = xfer[1].notify = &wake_;

    // A read that cannot even start (the device is gone) counts as a failed read.
    auto begin = [&](int k) {
        queued[k] = in_->BeginDataXfer(buf[k].get(), kInSize, &xfer[k]);
        if (!queued[k]) wake_.Set();
    };
    auto begin_both = [&] {
        in_->SetXferSize(kInSize);
        begin(0);
        begin(1);
    };
    // Finishes read k and hands on the message of a good frame. A read that could not start
    // counts as failed.
    enum class Read { kOk, kCancelled, kFailed };
    auto finish = [&](int k) {
        if (!queued[k]) return Read::kFailed;
        queued[k] = false;
        size_t got = 0;
        if (!in_->FinishDataXfer(buf[k].get(), &got, &xfer[k]))
            return xfer[k].status() == kvs::usb::XferStatus::kCancelled ? Read::kCancelled
                                                                        : Read::kFailed;
        const uint8_t* msg;
        size_t n;
        if (kvs::CheckUsbFrame(buf[k].get(), got, &msg, &n)) RecvMsg(msg, static_cast<int>(n));
        return Read::kOk;
    };

    begin_both();
    int failures = 0;
    bool lost = false;
    bool stopped = false;
    while (!lost && !stopped) {
        wake_.WaitForever();
        if (stopping_.load()) break;
        for (int k = 0; k < 2; ++k) {
            if (queued[k] && xfer[k].Pending()) continue;
            if (finish(k) == Read::kOk) {
                begin(k);
                continue;
            }
            RecvMsg(nullptr, -1);
            int failed = 1;
            // Aborting cancels the other read too. It is finished here: a frame that had
            // already arrived in it is still handed on, a read that had failed by itself counts
            // as a failure of its own, and one that the abort cancelled does not count. Both
            // are then queued again together.
            in_->Abort();
            if (finish(1 - k) == Read::kFailed) {
                RecvMsg(nullptr, -1);
                ++failed;
            }
            if (!Pause(kRecoveryPauseMs)) {
                stopped = true;
                break;
            }
            in_->Reset();
            if (!Pause(kRecoveryPauseMs)) {
                stopped = true;
                break;
            }
            failures += failed;
            if (failures <= kFailuresBeforeReopen) {
                begin_both();
                break;
            }
            bool reopened;
            {
                std::unique_lock<std::shared_mutex> lock(dev_mu_);
                reopened = OpenDevice();
            }
            if (!reopened) {
                RecvMsg(nullptr, -2);
                lost = true;
                break;
            }
            reopens_.fetch_add(1);
            RecvMsg(nullptr, 0);
            failures = 0;
            begin_both();
            break;
        }
    }
    if (!lost && in_) {
        in_->Abort();
        in_->Reset();
        for (int k = 0; k < 2; ++k)
            if (queued[k]) finish(k);
    }
    ended_.Set();
}

namespace kvs {

CKVSH_BaseComm* OpenUsbConnection(int index) {
    auto* c = new CKVSH_USB();
    if (!c->Open(index)) {
        delete c;
        return nullptr;
    }
    return c;
}

int ListUsbControllers(int* indexes, int max) {
    if (!indexes || max < 1) return 0;
    // The identifiers come from the enumeration itself, so a controller that is open already
    // (by this process or another) is still listed.
    const auto ids = usb::ActiveUsbDriver()->Enumerate();
    int index = 0;
    int stored = 0;
    for (const usb::UsbDeviceId& id : ids) {
        if (id.vendor != usb::kCypressVendor) continue;
        if (id.product == usbsim::kControllerProduct) {
            indexes[stored++] = index;
            if (stored == max) break;
        }
        ++index;
    }
    return stored;
}

}  // namespace kvs
