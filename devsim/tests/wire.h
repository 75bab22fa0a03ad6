// Test helpers: build request messages with the protocol's builder and read replies.
#pragma once

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "devsim/device.h"
#include "gbk.h"
#include "kvsh_records.h"
#include "msg.h"

namespace devsim::test {

inline std::vector<uint8_t> Request(uint8_t cmd, std::initializer_list<std::string> texts,
                                    int32_t param = 0, const std::vector<uint8_t>& raw = {},
                                    uint8_t count = 1) {
    std::vector<uint8_t> buf(kvs::kBufferSize);
    kvs::MsgBuilder b(buf.data(), buf.size(), cmd, count);
    b.SetParamI32(param);
    for (const auto& t : texts) b.Text(kvs::Utf8ToGbk(t).c_str());
    if (!raw.empty()) b.Bytes(raw.data(), raw.size());
    buf.resize(b.size());
    return buf;
}

struct Reply {
    bool answered = false;
    std::vector<uint8_t> bytes;
    const T_MSG_HEAD* head() const { return reinterpret_cast<const T_MSG_HEAD*>(bytes.data()); }
    int status() const { return bytes.size() >= 12 ? bytes[8] : -1; }
    // The UTF-8 text at offset (20 for commands 4-6 and 10, 12 for 14 and 18).
    std::string Text(size_t offset) const {
        if (bytes.size() <= offset) return "<none>";
        const char* p = reinterpret_cast<const char*>(bytes.data() + offset);
        size_t n = strnlen(p, bytes.size() - offset);
        return kvs::GbkToUtf8(std::string(p, n));
    }
    struct Rec {
        unsigned kind, flags, type, role;
        int32_t flag;
        std::vector<std::string> texts;
    };
    // Walks the records; the walk must end cleanly.
    std::vector<Rec> Records() const {
        std::vector<Rec> out;
        KVS_RECORD_ITER it;
        KVS_RecordsBegin(&it, head());
        KVS_RECORD r;
        while (KVS_RecordsNext(&it, &r)) {
            Rec rec{r.kind, r.flags, r.type, r.role, r.flag, {}};
            const char* p = reinterpret_cast<const char*>(r.data + 8);
            const char* end = reinterpret_cast<const char*>(r.data + r.size);
            for (unsigned i = 0; i < r.texts && p < end; ++i) {
                size_t n = strnlen(p, static_cast<size_t>(end - p));
                rec.texts.push_back(kvs::GbkToUtf8(std::string(p, n)));
                p += n + 1;
            }
            out.push_back(rec);
        }
        if (it.bad) out.push_back({0xBAD, 0, 0, 0, 0, {}});
        return out;
    }
};

inline Reply Ask(Device& d, const std::vector<uint8_t>& msg) {
    Reply r;
    r.answered = d.HandleRequest(msg.data(), msg.size(), &r.bytes);
    return r;
}

inline Options Quiet() {
    Options o;
    o.work_thread = false;
    return o;
}

}  // namespace devsim::test
