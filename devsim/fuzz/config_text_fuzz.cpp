// The simulated controller's configuration-text loader (what a download and a project file
// carry) on arbitrary text: a text it takes exports again, and that export loads.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 20000) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    devsim::Model m;
    std::string error;
    if (!m.ImportConfig(text, &error)) return 0;
    const std::string exported = m.ExportConfig();
    devsim::Model again;
    if (!again.ImportConfig(exported, &error)) std::abort();
    return 0;
}
