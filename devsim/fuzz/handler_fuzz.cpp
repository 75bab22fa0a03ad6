// libFuzzer target: one request message, exact size, into the simulated controller's handler.
// The first input byte chooses the device's starting point (demo, empty, in boot), so that the
// configuration download, script compiler and flash commands are all reached.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "devsim/device.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::unique_ptr<devsim::Device> devices[2];
    if (!devices[0]) {
        devsim::Options o;
        o.work_thread = false;
        devices[0] = devsim::Device::CreateDemo(o);
        devices[1] = devsim::Device::CreateEmpty(o);
        devices[0]->SetValue("组件管理器", "运行状态", "true");
    }
    if (size < 1) return 0;
    devsim::Device& d = *devices[data[0] & 1];
    // An exact-size copy, so that any read past the message is caught.
    std::unique_ptr<uint8_t[]> msg(new uint8_t[size - 1]);
    if (size > 1) std::memcpy(msg.get(), data + 1, size - 1);
    std::vector<uint8_t> reply;
    if (d.HandleRequest(msg.get(), size - 1, &reply)) {
        if (reply.size() < 12) __builtin_trap();
        int32_t len;
        std::memcpy(&len, reply.data(), 4);
        if (static_cast<size_t>(len) != reply.size() || reply.size() > 65535) __builtin_trap();
    }
    if (data[0] & 2) d.Step(1);  // the work loop over whatever the request built
    return 0;
}
