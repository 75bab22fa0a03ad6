// Connection set-up of both families, the key byte and the USB listing.
//
// The global connection is one pointer; KVS_Initial_* and KVS_Clear replace it and must not
// race with requests on it (the header's contract). It is atomic only so that a request that
// reads it on another thread sees either the old or the new connection.
#include <atomic>

#include "api_internal.h"
#include "connections.h"
#include "frame.h"
#include "log.h"

namespace kvs {

namespace {
std::atomic<CKVSH_BaseComm*> g_global{nullptr};

bool ReplaceGlobal(CKVSH_BaseComm* (*open)(void*), void* arg, TextId ready) {
    delete g_global.exchange(nullptr);
    CKVSH_BaseComm* conn = open(arg);
    if (!conn) return false;
    Log(KVS_LEVEL_NORMAL, ready);
    g_global.store(conn);
    return true;
}

KVS_HANDLE Announce(CKVSH_BaseComm* conn, TextId ready) {
    if (conn) Log(KVS_LEVEL_NORMAL, ready);
    return ToHandle(conn);
}

struct UdpAddress {
    uint8_t a, b, c, d;
};
CKVSH_BaseComm* OpenUdpArg(void* arg) {
    auto* ip = static_cast<UdpAddress*>(arg);
    return OpenUdpConnection(ip->a, ip->b, ip->c, ip->d);
}
CKVSH_BaseComm* OpenUartArg(void* arg) { return OpenUartConnection(static_cast<char*>(arg)); }
CKVSH_BaseComm* OpenUsbArg(void* arg) { return OpenUsbConnection(*static_cast<int*>(arg)); }
}  // namespace

KVS_HANDLE GlobalHandle() { return ToHandle(g_global.load()); }

}  // namespace kvs

using kvs::TextId;

extern "C" {

KVS_API void KVSGetKey(const char* key) { kvs::SetKeyByte(kvs::ComputeKeyByte(key)); }
KVS_API void mKVSGetKey(const char* key) { KVSGetKey(key); }

KVS_API bool KVS_Initial_UART(char* init) {
    return kvs::ReplaceGlobal(kvs::OpenUartArg, init, TextId::kUartReady);
}

KVS_API bool KVS_Initial_USB(int index) {
    return kvs::ReplaceGlobal(kvs::OpenUsbArg, &index, TextId::kUsbReady);
}

KVS_API bool KVS_Initial_UDP(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    kvs::UdpAddress ip{a, b, c, d};
    return kvs::ReplaceGlobal(kvs::OpenUdpArg, &ip, TextId::kUdpReady);
}

KVS_API void KVS_RegistRecvCallBack(KVS_RECV_CALLBACK callback) {
    if (CKVSH_BaseComm* conn = kvs::g_global.load()) conn->SetRecvCallback(callback, nullptr);
}

KVS_API void KVS_Clear(void) { delete kvs::g_global.exchange(nullptr); }

KVS_API int KVS_GetUSBDevIndexs(int* indexes, int max) {
    if (!indexes || max < 1) return 0;
    return kvs::ListUsbControllers(indexes, max);
}

KVS_API KVS_HANDLE mKVS_Initial_UART(char* init) {
    return kvs::Announce(kvs::OpenUartConnection(init), TextId::kUartReady);
}

KVS_API KVS_HANDLE mKVS_Initial_USB(int index) {
    return kvs::Announce(kvs::OpenUsbConnection(index), TextId::kUsbReady);
}

KVS_API KVS_HANDLE mKVS_Initial_UDP(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    return kvs::Announce(kvs::OpenUdpConnection(a, b, c, d), TextId::kUdpReady);
}

KVS_API void mKVS_RegistRecvCallBack(KVS_HANDLE h, KVS_RECV_CALLBACK callback, void* user) {
    if (CKVSH_BaseComm* conn = kvs::FromHandle(h)) conn->SetRecvCallback(callback, user);
}

KVS_API void mKVS_Clear(KVS_HANDLE h) { delete kvs::FromHandle(h); }

}  // extern "C"
