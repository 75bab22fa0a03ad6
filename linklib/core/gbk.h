// UTF-8 <-> GBK conversion with iconv, for the library's own texts and for tools and the
// simulator, which keep UTF-8 inside and GBK on the wire. Thread-safe (no shared state).
#pragma once

#include <string>

namespace kvs {

// Converts into out (size bytes, always terminated when size > 0). Characters without a GBK
// form become '?'; output that does not fit is cut at a character boundary. Returns out.
char* Utf8ToGbk(const char* utf8, char* out, unsigned size);

std::string Utf8ToGbk(const std::string& utf8);
std::string GbkToUtf8(const std::string& gbk);

}  // namespace kvs
