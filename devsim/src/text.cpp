#include "text.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include "gbk.h"

namespace devsim {

namespace {

bool IsAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

// Bounded per-thread cache: cleared when it grows past its limit so that a stream of distinct
// values cannot make it grow without end.
class ConvCache {
  public:
    template <typename Fn>
    const std::string& Get(std::string_view key, Fn convert) {
        auto it = map_.find(std::string(key));
        if (it != map_.end()) return it->second;
        if (map_.size() >= kLimit) map_.clear();
        return map_.emplace(std::string(key), convert(std::string(key))).first->second;
    }

  private:
    static constexpr size_t kLimit = 4096;
    std::unordered_map<std::string, std::string> map_;
};

}  // namespace

std::string WireToUtf8(std::string_view gbk) {
    if (IsAscii(gbk)) return std::string(gbk);
    if (gbk.size() > 256) return kvs::GbkToUtf8(std::string(gbk));
    thread_local ConvCache cache;
    return cache.Get(gbk, [](const std::string& s) { return kvs::GbkToUtf8(s); });
}

std::string Utf8ToWire(std::string_view utf8) {
    if (IsAscii(utf8)) return std::string(utf8);
    if (utf8.size() > 256) return kvs::Utf8ToGbk(std::string(utf8));
    thread_local ConvCache cache;
    return cache.Get(utf8, [](const std::string& s) { return kvs::Utf8ToGbk(s); });
}

std::vector<std::string> SplitList(std::string_view list) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] == ';') {
            out.emplace_back(list.substr(start, i - start));
            start = i + 1;
        }
    }
    return out;
}

std::string JoinList(const std::vector<std::string>& entries) {
    std::string out;
    for (const auto& e : entries) {
        out += e;
        out += ';';
    }
    return out;
}

double ToNumber(std::string_view text) {
    if (text == "true") return 1;
    if (text == "false") return 0;
    std::string s(text);
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (end == s.c_str() || !std::isfinite(v)) return 0;
    return v;
}

bool ToBool(std::string_view text) {
    if (text == "true") return true;
    if (text == "false" || text.empty()) return false;
    return ToNumber(text) != 0;
}

bool ParseInt(std::string_view text, long long* out) {
    std::string s(text);
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(s.c_str(), &end, 10);
    if (errno || *end || end == s.c_str()) return false;
    *out = v;
    return true;
}

bool ParseReal(std::string_view text, double* out) {
    std::string s(text);
    if (s.empty()) return false;
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (*end || end == s.c_str() || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

std::string FormatNumber(double value) {
    char buf[64];
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15)
        std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(value));
    else
        std::snprintf(buf, sizeof buf, "%g", value);
    return buf;
}

bool SplitFullName(std::string_view full, std::string* component, std::string* attribute) {
    size_t at = full.rfind(':');
    if (at == std::string_view::npos) at = full.rfind('.');
    if (at == std::string_view::npos || at == 0 || at + 1 >= full.size()) return false;
    *component = std::string(full.substr(0, at));
    *attribute = std::string(full.substr(at + 1));
    return true;
}

}  // namespace devsim
