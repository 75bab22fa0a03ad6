// The expression components' formula compiler on arbitrary text; the first byte chooses the
// number of inputs (0-7), and a formula that compiles is evaluated once.
#include <cstdint>
#include <string>

#include "script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 4000) return 0;
    const int inputs = data[0] & 7;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    devsim::Formula f;
    std::string error;
    if (!devsim::CompileFormula(text, inputs, &f, &error)) return 0;
    const double vars[8] = {1, -2, 3.5, 0, 1e300, -1e-300, 7, 8};
    f.Eval(vars);
    return 0;
}
