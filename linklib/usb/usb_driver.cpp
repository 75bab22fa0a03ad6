#include "usb_driver.h"

#include <cstdlib>
#include <string>

namespace kvs::usb {

std::shared_ptr<UsbDriver> ActiveUsbDriver() {
    const char* sim = std::getenv(kSimEnvVar);
    if (!sim) return LibusbDriver();
    // Set but empty: the simulated bus with nothing attached (real hardware stays untouched).
    std::vector<std::string> paths;
    std::string all(sim);
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(':', start);
        if (end == std::string::npos) end = all.size();
        if (end > start) paths.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return MakeSimDriver(std::move(paths));
}

}  // namespace kvs::usb
