// The device side of one simulated USB controller: it listens on a Unix-domain socket path
// (the "plug") and serves every host that connects through the simulated driver, using the
// packets of usb_sim_wire.h. The device model behind it (kvs-devsim, or a test's fake) sees
// the data of bulk OUT transfers and answers with IN transfers.
//
// Faults for tests and for users trying the program's recovery: failing IN transfers,
// OUT transfers that are never taken (the host's send times out), and unplugging and plugging
// the device again.
//
// Threading: one service thread, owned by the port, accepts connections, reads packets and
// calls the handlers (never with the port's lock held). In(), FailIn(), HoldOut() and the
// queries may be called from any thread, handlers included. Plug()/Unplug() and the destructor
// must not be called from a handler.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "usb_sim_wire.h"

namespace kvs::usbsim {

class SimUsbPort {
  public:
    struct Handlers {
        // Data of one bulk OUT transfer to endpoint ep from the host of session.
        std::function<void(int session, uint8_t ep, const uint8_t* data, size_t n)> out;
        // The host of session disconnected (closed the device or exited).
        std::function<void(int session)> closed;
    };

    SimUsbPort(std::string path, Descriptors descriptors, Handlers handlers);
    ~SimUsbPort();
    SimUsbPort(const SimUsbPort&) = delete;
    SimUsbPort& operator=(const SimUsbPort&) = delete;

    // Attaches the device: listens on the path (replacing a stale socket file there).
    bool Plug(std::string* error = nullptr);
    // Detaches it: drops every host connection, stops listening and removes the path.
    void Unplug();
    bool Plugged() const { return listening_.load(); }
    const std::string& path() const { return path_; }

    // Sends one IN transfer's data on endpoint ep to the host of session; false when that host
    // is gone or the data does not fit one transfer.
    bool In(int session, const uint8_t* data, size_t n, uint8_t ep = kInEndpoint);
    // The next count IN transfers of every connected host fail with an I/O error.
    void FailIn(int count = 1, uint8_t ep = kInEndpoint);
    // While held, OUT transfers are read but never taken, so the host's send times out.
    void HoldOut(bool hold) { hold_out_.store(hold); }

    // Sessions connected now, and counters for tests.
    std::vector<int> Sessions() const;
    int Resets() const { return resets_.load(); }
    int Connections() const { return connections_.load(); }

  private:
    void Serve();
    bool SendPacket(int fd, uint8_t type, uint8_t ep, const uint8_t* data, size_t n);
    void Wake();

    const std::string path_;
    const std::vector<uint8_t> hello_;
    const Handlers handlers_;

    mutable std::mutex mu_;
    std::map<int, int> sessions_;  // session id -> socket
    int next_session_ = 1;
    int listen_fd_ = -1;
    int wake_[2] = {-1, -1};
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> listening_{false};
    std::atomic<bool> hold_out_{false};
    std::atomic<int> resets_{0};
    std::atomic<int> connections_{0};
};

}  // namespace kvs::usbsim
