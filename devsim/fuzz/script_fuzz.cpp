// The user-component script compiler on arbitrary text; a script that compiles runs once over
// zeroed variables (its loops are bounded).
#include <cstdint>
#include <string>
#include <vector>

#include "script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 8000) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    devsim::ScriptProgram program;
    std::string error;
    if (!devsim::CompileScript(text, &program, &error, {"用户注释"})) return 0;
    std::vector<double> vars(program.var_count, 0.0);
    program.Run(vars.data());
    return 0;
}
