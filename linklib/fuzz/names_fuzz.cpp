// The exported name helpers on arbitrary names: every destination written within its size.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "kvsh_user.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 2048) return 0;
    const std::string name(reinterpret_cast<const char*>(data), size);
    const char* s = name.c_str();
    const size_t len = std::strlen(s);
    for (int cap : {1, 2, 8, 64, 300}) {
        std::unique_ptr<char[]> dst(new char[static_cast<size_t>(cap)]);
        const int n = KVS_DelStringSpace(dst.get(), cap, s);
        if (n >= cap || (n >= 0 && std::strlen(dst.get()) != static_cast<size_t>(n))) std::abort();
    }
    KVS_GetComponentIDFromName(s);
    std::unique_ptr<char[]> comp(new char[256]);
    if (KVS_GetComponentStrFromName(s, comp.get()) && std::strlen(comp.get()) >= len + 1)
        std::abort();
    std::unique_ptr<char[]> c(new char[128]), a(new char[128]);
    if (KVS_SeparateFullName(s, c.get(), a.get()) &&
        std::strlen(c.get()) + std::strlen(a.get()) + 1 != len)
        std::abort();
    return 0;
}
