// GBK conversion both ways, including the bounded form the log texts use: no overrun of the
// destination, always terminated, never half of a two-byte character at the cut.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gbk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    const std::string in(reinterpret_cast<const char*>(data), size);
    const std::string utf8 = kvs::GbkToUtf8(in);
    const std::string gbk = kvs::Utf8ToGbk(in);
    const std::string back = kvs::Utf8ToGbk(utf8);
    (void)back;
    const std::string z = in.substr(0, in.find('\0'));
    for (unsigned cap : {0u, 1u, 2u, 3u, 17u, 512u}) {
        char* out = new char[cap ? cap : 1];  // exact size: an overrun is caught
        kvs::Utf8ToGbk(z.c_str(), out, cap);
        if (cap > 0 && std::strlen(out) >= cap) std::abort();
        delete[] out;
    }
    (void)gbk;
    return 0;
}
