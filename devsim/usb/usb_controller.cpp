#include "devsim/usb_controller.h"

#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "devsim/device.h"
#include "frame.h"
#include "msg.h"
#include "usb_sim_port.h"

namespace devsim {

// Shared with the link send functions, which the Device may still call (a delayed reply)
// after the link has been detached: they hold the state, never the UsbController.
struct UsbController::State : std::enable_shared_from_this<State> {
    Device& device;
    std::string path;
    std::mutex mu;             // guards links
    std::map<int, int> links;  // port session -> Device link
    std::mutex port_mu;        // guards port against its release in ~UsbController
    std::unique_ptr<kvs::usbsim::SimUsbPort> port;

    State(Device& d, std::string p) : device(d), path(std::move(p)) {}

    // A frame of the Device's message goes to the host of session as one IN transfer.
    static void SendFrame(const std::weak_ptr<State>& weak, int session, const uint8_t* msg,
                          size_t n, bool corrupt) {
        auto self = weak.lock();
        if (!self || n > kvs::kRxBufferSize) return;
        std::vector<uint8_t> frame(kvs::UsbFrameSize(n));
        kvs::EncodeUsbFrame(msg, n, frame.data());
        if (corrupt) frame[8] ^= 0x5A;  // spoil the word sum
        std::lock_guard<std::mutex> lock(self->port_mu);
        if (self->port) self->port->In(session, frame.data(), frame.size());
    }

    void OnOut(int session, uint8_t ep, const uint8_t* data, size_t n) {
        if (ep != kvs::usbsim::kOutEndpoint) return;
        const uint8_t* msg;
        size_t len;
        // A transfer that is not a good frame is dropped, as the controller's firmware does.
        if (!kvs::CheckUsbFrame(data, n, &msg, &len) || len < kvs::kHeadSize) return;
        // The frame carries the message padded to whole words; its own length says how much
        // of it is the message.
        uint32_t declared;
        std::memcpy(&declared, msg, 4);
        if (declared < kvs::kHeadSize || declared > len) return;
        int link;
        {
            std::lock_guard<std::mutex> lock(mu);
            auto it = links.find(session);
            if (it == links.end()) {
                std::weak_ptr<State> weak = weak_from_this();
                link = device.AttachLink([weak, session](const uint8_t* m, size_t k, bool corrupt) {
                    SendFrame(weak, session, m, k, corrupt);
                });
                links[session] = link;
            } else {
                link = it->second;
            }
        }
        device.Receive(link, msg, declared);
    }

    void OnClosed(int session) {
        int link = 0;
        {
            std::lock_guard<std::mutex> lock(mu);
            auto it = links.find(session);
            if (it == links.end()) return;
            link = it->second;
            links.erase(it);
        }
        device.DetachLink(link);
    }
};

UsbController::UsbController(Device& device, std::string socket_path)
    : state_(std::make_shared<State>(device, std::move(socket_path))) {
    State* s = state_.get();
    kvs::usbsim::SimUsbPort::Handlers h;
    h.out = [s](int session, uint8_t ep, const uint8_t* d, size_t n) {
        s->OnOut(session, ep, d, n);
    };
    h.closed = [s](int session) { s->OnClosed(session); };
    s->port =
        std::make_unique<kvs::usbsim::SimUsbPort>(s->path, kvs::usbsim::ControllerDescriptors(), h);
}

UsbController::~UsbController() {
    // The port's service thread ends before the links go; a late send finds no port.
    std::unique_ptr<kvs::usbsim::SimUsbPort> port;
    {
        std::lock_guard<std::mutex> lock(state_->port_mu);
        port = std::move(state_->port);
    }
    port.reset();
    std::lock_guard<std::mutex> lock(state_->mu);
    for (auto& [session, link] : state_->links) state_->device.DetachLink(link);
    state_->links.clear();
}

bool UsbController::Plug(std::string* error) { return state_->port->Plug(error); }
void UsbController::Unplug() { state_->port->Unplug(); }
bool UsbController::Plugged() const { return state_->port->Plugged(); }
const std::string& UsbController::Path() const { return state_->path; }
void UsbController::FailReads(int count) { state_->port->FailIn(count); }
void UsbController::HoldOut(bool hold) { state_->port->HoldOut(hold); }
int UsbController::Connections() const { return state_->port->Connections(); }

}  // namespace devsim
