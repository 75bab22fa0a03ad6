#include "udp.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "connections.h"
#include "log.h"
#include "msg.h"

CHWComm_Udp::CHWComm_Udp()
    : reassembler_(this, 0),
      rx_(new uint8_t[kvs::kRxBufferSize]),
      tx_(new uint8_t[kvs::kMaxMessage + kvs::kFrameHeadSize]) {}

CHWComm_Udp::~CHWComm_Udp() { Disconnect(); }

bool CHWComm_Udp::Open(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    if (socket_) return false;
    char dotted[16];
    std::snprintf(dotted, sizeof dotted, "%d.%d.%d.%d", a, b, c, d);
    kvs::UdpOpenError error = kvs::UdpOpenError::kNone;
    kvs::UdpSocket* s = kvs::UdpOpen(dotted, kLocalPort, kRemotePort, &error);
    if (!s) {
        switch (error) {
            case kvs::UdpOpenError::kBind:
                kvs::Log(KVS_LEVEL_ERROR, kvs::TextId::kUdpBind);
                break;
            case kvs::UdpOpenError::kConnect:
                kvs::Log(KVS_LEVEL_ERROR, kvs::TextId::kUdpConnect);
                break;
            default:
                kvs::Log(KVS_LEVEL_ERROR, kvs::TextId::kUdpSocket);
                break;
        }
        return false;
    }
    socket_ = s;
    thread_done_.Reset();
    thread_ = std::thread([this] { ReceiveLoop(); });
    if (settle_ms_) std::this_thread::sleep_for(std::chrono::milliseconds(settle_ms_));
    return true;
}

void CHWComm_Udp::ReceiveLoop() {
    for (;;) {
        kvs::UdpWaitResult r = kvs::UdpWait(socket_, kReceiveWaitMs);
        if (r == kvs::UdpWaitResult::kWoken) break;
        if (r != kvs::UdpWaitResult::kData) continue;
        // Datagrams that queued up meanwhile (many requests in flight) are taken without
        // waiting again; a bounded number, so that teardown is never held up.
        for (int i = 0; i < kDrainLimit; ++i) {
            long got = kvs::UdpReceive(socket_, rx_.get(), kvs::kRxBufferSize);
            if (got < 0) break;
            if (got > 0) reassembler_.Feed(rx_.get(), static_cast<size_t>(got));
        }
    }
    thread_done_.Set();
}

void CHWComm_Udp::OnFrameMessage(const uint8_t* msg, size_t n) {
    RecvMsg(msg, static_cast<int>(n));
}

void CHWComm_Udp::OnFrameError(kvs::FrameError error, unsigned a, unsigned b) {
    kvs::ReportFrameError(name_, error, a, b);
}

bool CHWComm_Udp::SendMsg(const uint8_t* msg, int length) {
    if (!msg || length < 0 || static_cast<size_t>(length) > kvs::kMaxMessage) return false;
    std::lock_guard<std::mutex> lock(send_mu_);
    size_t total = kvs::EncodeFrame(msg, static_cast<size_t>(length), kvs::KeyByte(), tx_.get());
    const uint8_t* p = tx_.get();
    // A frame whose middle piece was lost cannot be reassembled by the controller, so the
    // first failing piece ends the send as a failure.
    while (total > kPieceSize) {
        if (!SendFrameLocked(p, kPieceSize)) return false;
        p += kPieceSize;
        total -= kPieceSize;
        std::this_thread::sleep_for(std::chrono::milliseconds(kPiecePauseMs));
    }
    return SendFrameLocked(p, total);
}

bool CHWComm_Udp::SendFrame(const uint8_t* data, int length) {
    if (!data || length < 0) return false;
    std::lock_guard<std::mutex> lock(send_mu_);
    return SendFrameLocked(data, static_cast<size_t>(length));
}

bool CHWComm_Udp::SendFrameLocked(const uint8_t* data, size_t length) {
    if (!socket_) {
        kvs::Log(KVS_LEVEL_ERROR, kvs::TextId::kUdpNotConnected);
        return false;
    }
    if (!kvs::UdpSend(socket_, data, length)) {
        kvs::Log(KVS_LEVEL_ERROR, kvs::TextId::kUdpSendError);
        return false;
    }
    return true;
}

void CHWComm_Udp::Disconnect() {
    if (!socket_) return;
    kvs::UdpWake(socket_);
    if (!thread_done_.Wait(kStopWaitMs)) kvs::Log(KVS_LEVEL_ERROR, kvs::TextId::kUdpStopThread);
    // The thread uses this object, so it is joined even when it was late: a report and a
    // longer wait are better than a thread running on freed memory.
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(send_mu_);
    kvs::UdpClose(socket_);
    socket_ = nullptr;
}

namespace kvs {

CKVSH_BaseComm* OpenUdpConnection(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    auto* conn = new CHWComm_Udp;
    if (conn->Open(a, b, c, d)) return conn;
    delete conn;
    return nullptr;
}

}  // namespace kvs
