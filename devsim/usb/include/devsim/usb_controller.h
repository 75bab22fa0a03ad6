// The simulated controller seen as a USB device: a simulated USB controller (vendor 0x04B4,
// product 0x1008, bulk endpoints 0x02 and 0x86) plugged in at a Unix-domain socket path, which
// the link library's simulated driver reaches when KVSH_USB_SIM names that path. Every host
// connection becomes a link of the Device; bulk OUT transfers carry USB frames to it, and its
// replies and unsolicited messages travel back as bulk IN transfers.
//
// Faults of the USB link itself (the Device's own faults apply as on every link): failed IN
// reads, OUT transfers that are never taken, unplugging and plugging the device again.
//
// Threading: every member may be called from any thread except from the Device's callbacks;
// the socket is served by a thread of the underlying port.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace devsim {

class Device;

class UsbController {
  public:
    // The device must outlive this object.
    UsbController(Device& device, std::string socket_path);
    ~UsbController();
    UsbController(const UsbController&) = delete;
    UsbController& operator=(const UsbController&) = delete;

    // Plugs the controller in (listens at the path); false with *error when that fails.
    bool Plug(std::string* error = nullptr);
    // Unplugs it: every host loses the device, and the path disappears until Plug().
    void Unplug();
    bool Plugged() const;
    const std::string& Path() const;

    // The next count IN reads of every connected host fail.
    void FailReads(int count);
    // While held, OUT transfers are never taken (the host's sends time out).
    void HoldOut(bool hold);

    // Host connections served so far (descriptor probes included), for tests.
    int Connections() const;

  private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace devsim
