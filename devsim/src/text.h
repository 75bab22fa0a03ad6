// Small text helpers of the simulated controller: GBK <-> UTF-8 at the wire with a cache for
// the names that every request repeats, list splitting and the number conventions of values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace devsim {

// Conversions at the wire boundary. ASCII passes through unchanged; other texts go through a
// per-thread cache (names repeat in every request) and iconv on a miss. Thread-safe.
std::string WireToUtf8(std::string_view gbk);
std::string Utf8ToWire(std::string_view utf8);

// Splits "a;b;c;" into {"a","b","c"}; text after the last ';' is not an entry.
std::vector<std::string> SplitList(std::string_view list);
std::string JoinList(const std::vector<std::string>& entries);

// A value as a number: "true" 1, "false" 0, a leading decimal number, otherwise 0.
double ToNumber(std::string_view text);
bool ToBool(std::string_view text);
// Strict parses used to validate writes.
bool ParseInt(std::string_view text, long long* out);
bool ParseReal(std::string_view text, double* out);
std::string FormatNumber(double value);  // "%g" with integers printed without exponent

// Splits a full attribute name at its last ':' (or, without one, its last '.').
bool SplitFullName(std::string_view full, std::string* component, std::string* attribute);

}  // namespace devsim
