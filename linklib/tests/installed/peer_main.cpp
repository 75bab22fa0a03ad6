// The scripted controller for the installed-client check: expects the key command and one
// value request with exact bytes, answers both, and exits 0 when everything matched.
#include <cstdio>
#include <cstring>
#include <string>

#include "frame.h"
#include "scripted_peer.h"

using kvs_test::Bytes;

int main() {
    const uint8_t key_sum = 1 + 2 + 3 + 4 + 5 + 6 + 7 + 8;
    Bytes want_key = {20, 0, 0, 0, 0, 0, 30, 0, 0, 0, 0, 0, '1', '2', '3', '4', '5', '6', '7', '8'};
    Bytes want_get = {12, 0, 0, 0, 0, 0, 4, 1, 0, 0, 0, 0};
    for (const char* t :
         {"\xd7\xe9\xbc\xfe\xb9\xdc\xc0\xed\xc6\xf7", "\xd4\xcb\xd0\xd0\xd7\xb4\xcc\xac"})
        kvs_test::PutText(want_get, t);
    want_get[0] = static_cast<uint8_t>(want_get.size());
    kvs_test::ScriptedPeer peer(kvs_test::ScriptedPeer::Kind::kUdp, [&](const Bytes& m) {
        if (m == want_key) return kvs_test::Reply(30, 1);
        if (m == want_get) return kvs_test::TextReply(4, 0, "\xd4\xcb\xd0\xd0");
        return Bytes{};
    });
    if (!peer.ok()) return 2;
    peer.ExpectKey(key_sum);
    std::puts("ready");
    std::fflush(stdout);
    if (!peer.WaitMessages(2, 20000)) return 3;
    auto m = peer.Messages();
    bool ok = m[0] == want_key && m[1] == want_get && peer.BadFrames() == 0;
    std::printf("peer: %s\n", ok ? "ok" : "unexpected bytes");
    return ok ? 0 : 1;
}
