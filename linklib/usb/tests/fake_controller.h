// An in-process simulated controller for the USB tests: a SimUsbPort on a socket in a private
// temporary folder that answers every request with a reply built by kvs::MsgBuilder (same
// command with bit 7 set, status 0, then the text "ok"), and records the size of every OUT
// transfer it receives.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "frame.h"
#include "msg.h"
#include "usb_sim_port.h"

namespace kvs::usbtest {

// A private folder for sockets, removed with everything in it.
class TempDir {
  public:
    TempDir() {
        char tmpl[] = "/tmp/kvs-usb-XXXXXX";
        path_ = ::mkdtemp(tmpl);
    }
    ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

class FakeController {
  public:
    explicit FakeController(std::string path, uint16_t vendor = usbsim::kControllerVendor,
                            uint16_t product = usbsim::kControllerProduct, bool with_bulk = true)
        : port_(std::move(path), usbsim::ControllerDescriptors(vendor, product, with_bulk),
                {[this](int s, uint8_t ep, const uint8_t* d, size_t n) { OnOut(s, ep, d, n); },
                 nullptr}) {
        port_.Plug();
    }

    usbsim::SimUsbPort& port() { return port_; }
    std::string path() const { return port_.path(); }

    // Sizes of the OUT transfers received, and the last one's bytes.
    std::vector<size_t> OutSizes() {
        std::lock_guard<std::mutex> lock(mu_);
        return sizes_;
    }
    std::vector<uint8_t> LastOut() {
        std::lock_guard<std::mutex> lock(mu_);
        return last_;
    }
    // Sends an unsolicited message (command without bit 7) to every connected host.
    void Unsolicited(uint8_t cmd, const char* text) {
        uint8_t msg[256];
        MsgBuilder b(msg, sizeof msg, cmd, 1);
        b.Text(text);
        uint8_t frame[300];
        const size_t n = EncodeUsbFrame(b.data(), b.size(), frame);
        for (int s : port_.Sessions()) port_.In(s, frame, n);
    }
    void SetSilent(bool silent) { silent_.store(silent); }

  private:
    void OnOut(int session, uint8_t, const uint8_t* data, size_t n) {
        {
            std::lock_guard<std::mutex> lock(mu_);
            sizes_.push_back(n);
            last_.assign(data, data + n);
        }
        const uint8_t* msg;
        size_t len;
        if (silent_.load() || !CheckUsbFrame(data, n, &msg, &len) || len < kHeadSize) return;
        uint8_t reply[256];
        MsgBuilder b(reply, sizeof reply, static_cast<uint8_t>(msg[6] | kReplyBit), 1);
        b.SetParamByte(0, 0);
        b.Text("ok");
        uint8_t frame[300];
        const size_t fn = EncodeUsbFrame(b.data(), b.size(), frame);
        port_.In(session, frame, fn);
    }

    usbsim::SimUsbPort port_;
    std::mutex mu_;
    std::vector<size_t> sizes_;
    std::vector<uint8_t> last_;
    std::atomic<bool> silent_{false};
};

// Sets KVSH_USB_SIM for the life of the object (the previous value is restored).
class SimBus {
  public:
    explicit SimBus(const std::vector<std::string>& paths) {
        if (const char* old = std::getenv("KVSH_USB_SIM")) old_ = old, had_ = true;
        std::string v;
        for (const auto& p : paths) v += (v.empty() ? "" : ":") + p;
        ::setenv("KVSH_USB_SIM", v.c_str(), 1);
    }
    ~SimBus() {
        if (had_)
            ::setenv("KVSH_USB_SIM", old_.c_str(), 1);
        else
            ::unsetenv("KVSH_USB_SIM");
    }

  private:
    std::string old_;
    bool had_ = false;
};

}  // namespace kvs::usbtest
