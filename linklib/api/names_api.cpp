// Helpers for component and attribute names. Pure functions: no state, any thread. Every
// destination is written within its stated size.
#include <climits>
#include <cstring>

#include "kvsh_user.h"

namespace {
constexpr size_t kComponentBuffer = 256;  // KVS_GetComponentStrFromName's destination
constexpr size_t kSeparateBuffer = 128;   // each destination of KVS_SeparateFullName
}  // namespace

extern "C" {

KVS_API int KVS_DelStringSpace(char* dst, int size, const char* src) {
    if (!dst || !src || size <= 0) return -1;
    int n = 0;
    for (const char* p = src; *p; ++p) {
        if (*p == ' ') continue;
        dst[n++] = *p;
        if (n >= size) return -1;  // no room left for the terminator
    }
    dst[n] = '\0';
    return n;
}

KVS_API int KVS_GetComponentIDFromName(const char* name) {
    if (!name) return -1;
    const char* dash = std::strrchr(name, '-');
    if (!dash) return -1;
    // Decimal digits after the dash, as atoi would read them, but without overflow.
    long value = 0;
    for (const char* p = dash + 1; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > INT_MAX) return -1;
    }
    return static_cast<int>(value);
}

KVS_API bool KVS_GetComponentStrFromName(const char* name, char* dst) {
    if (!dst) return false;
    dst[0] = '\0';
    if (!name) return false;
    size_t len = std::strlen(name);
    if (len >= kComponentBuffer) return false;
    std::memcpy(dst, name, len + 1);
    char* dash = std::strrchr(dst, '-');
    if (!dash) return false;
    *dash = '\0';
    return true;
}

KVS_API bool KVS_SeparateFullName(const char* full, char* component, char* attribute) {
    if (!component || !attribute) return false;
    component[0] = attribute[0] = '\0';
    if (!full) return false;
    size_t len = std::strlen(full);
    if (len >= kSeparateBuffer) return false;
    const char* sep = std::strrchr(full, ':');
    if (!sep) sep = std::strrchr(full, '.');
    if (!sep) return false;
    size_t head = static_cast<size_t>(sep - full);
    std::memcpy(component, full, head);
    component[head] = '\0';
    std::memcpy(attribute, sep + 1, len - head);  // includes the terminator
    return true;
}

}  // extern "C"
