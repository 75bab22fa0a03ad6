// The request engine's routing of reassembled messages (CKVSH_BaseComm::RecvMsg) with real
// slots: each request's send hands the engine arbitrary "received" messages before the reply
// wait, as a receive thread would. Replies handed out must lie inside the slot and carry the
// length the engine checked; unsolicited messages reach the callback within their length.
//
// Input: repeated [u8 request code][u16 length n][n message bytes]; a code with bit 7 set
// leaves the request without wait.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "basecomm.h"
#include "msg.h"

namespace {

class LoopbackComm : public CKVSH_BaseComm {
  public:
    const uint8_t* next = nullptr;
    size_t next_n = 0;
    bool SendMsg(const uint8_t*, int) override {
        if (next) {
            // An exact-size copy, so that reading past the message is caught.
            std::vector<uint8_t> copy(next, next + next_n);
            RecvMsg(copy.data(), static_cast<int>(copy.size()));
            RecvMsg(nullptr, -static_cast<int>(next_n % 3));  // a status notice
        }
        return true;
    }
};

void OnUnsolicited(const unsigned char* msg, int length, void*) {
    if (length < 12) std::abort();
    volatile uint8_t sum = 0;
    for (int i = 0; i < length; ++i) sum = sum + msg[i];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static LoopbackComm* comm = [] {
        auto* c = new LoopbackComm;  // kept for the whole run: its slots are 1 MiB
        c->SetRecvCallback(OnUnsolicited, nullptr);
        return c;
    }();
    size_t pos = 0;
    for (int requests = 0; requests < 40 && pos + 3 <= size; ++requests) {
        const uint8_t code = data[pos];
        size_t n = data[pos + 1] | (data[pos + 2] << 8);
        pos += 3;
        if (n > size - pos) n = size - pos;
        comm->next = data + pos;
        comm->next_n = n;
        pos += n;
        uint8_t buf[kvs::kHeadSize];
        kvs::MsgBuilder m(buf, sizeof buf, code & 0x7F, 0);
        const bool wait = !(code & 0x80);
        const T_MSG_HEAD* reply = comm->RequestHeld(m.head(), wait, 0);
        if (reply && wait) {
            if (reply->length < 12 || static_cast<size_t>(reply->length) > n) std::abort();
            volatile uint8_t sum = 0;
            const auto* p = reinterpret_cast<const uint8_t*>(reply);
            for (int32_t i = 0; i < reply->length; ++i) sum = sum + p[i];
        }
        comm->ReleaseReply(reply);
    }
    comm->next = nullptr;
    return 0;
}
