#include "gbk.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace kvs {

namespace {

// Converts in to out with one iconv descriptor, replacing unconvertible input bytes by '?'.
std::string Convert(const char* to, const char* from, const std::string& in) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return in;
    std::string out;
    out.resize(in.size() * 2 + 16);
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char* dst = out.data();
    size_t dst_left = out.size();
    while (src_left) {
        if (iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            size_t used = static_cast<size_t>(dst - out.data());
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dst_left = out.size() - used;
            continue;
        }
        if (dst_left == 0) {
            size_t used = static_cast<size_t>(dst - out.data());
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dst_left = out.size() - used;
        }
        *dst++ = '?';
        --dst_left;
        ++src;
        --src_left;
    }
    out.resize(static_cast<size_t>(dst - out.data()));
    iconv_close(cd);
    return out;
}

}  // namespace

std::string Utf8ToGbk(const std::string& utf8) { return Convert("GBK", "UTF-8", utf8); }
std::string GbkToUtf8(const std::string& gbk) { return Convert("UTF-8", "GBK", gbk); }

char* Utf8ToGbk(const char* utf8, char* out, unsigned size) {
    if (!size) return out;
    out[0] = 0;
    if (!utf8) return out;
    std::string g = Utf8ToGbk(std::string(utf8));
    size_t n = g.size() < size - 1 ? g.size() : size - 1;
    // Do not cut a two-byte GBK character in half.
    if (n < g.size()) {
        size_t i = 0;
        while (i < n) i += (static_cast<unsigned char>(g[i]) >= 0x81 && i + 1 < g.size()) ? 2 : 1;
        if (i > n) n -= 1;
    }
    std::memcpy(out, g.data(), n);
    out[n] = 0;
    return out;
}

}  // namespace kvs
