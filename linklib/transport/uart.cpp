#include "uart.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "connections.h"
#include "gbk.h"
#include "kvsh_vocab.h"
#include "log.h"
#include "msg.h"

namespace kvs {

namespace {

// Parity names as they arrive in the (GBK) initialisation text.
const std::string& OddName() {
    static const std::string s = Utf8ToGbk(std::string(KVS_PARITY_ODD));
    return s;
}
const std::string& EvenName() {
    static const std::string s = Utf8ToGbk(std::string(KVS_PARITY_EVEN));
    return s;
}

unsigned ReadNumber(const char* text) {
    long v = std::strtol(text, nullptr, 10);
    return v > 0 && v <= 4000000 ? static_cast<unsigned>(v) : 0;
}

}  // namespace

const char* ParseUartInit(char* init, SerialSettings* s) {
    *s = SerialSettings{};
    char* colon = std::strchr(init, ':');
    if (!colon) return init;
    *colon = '\0';
    char* fields[4] = {};
    int count = 0;
    char* p = colon + 1;
    fields[count++] = p;
    for (; *p && count < 4; ++p) {
        if (*p == '-') {
            *p = '\0';
            fields[count++] = p + 1;
        }
    }
    // Further separators in the last field are cut too, so that it holds one value.
    for (; *p; ++p)
        if (*p == '-') *p = '\0';
    s->baud = ReadNumber(fields[0]);
    if (count > 1) s->data_bits = ReadNumber(fields[1]);
    if (count > 2) s->stop_bits = std::strcmp(fields[2], "2") == 0 ? 2 : 1;
    if (count > 3) {
        if (OddName() == fields[3])
            s->parity = Parity::kOdd;
        else if (EvenName() == fields[3])
            s->parity = Parity::kEven;
        else
            s->parity = Parity::kNone;
    }
    return init;
}

bool UartDevicePath(const char* name, char* path, size_t size) {
    int n;
    if (name[0] == '/') {
        n = std::snprintf(path, size, "%s", name);
    } else if ((name[0] == 'C' || name[0] == 'c') && (name[1] == 'O' || name[1] == 'o') &&
               (name[2] == 'M' || name[2] == 'm') && name[3] >= '1' && name[3] <= '9' &&
               std::strspn(name + 3, "0123456789") == std::strlen(name + 3)) {
        n = std::snprintf(path, size, "/dev/ttyS%ld", std::strtol(name + 3, nullptr, 10) - 1);
    } else {
        n = std::snprintf(path, size, "/dev/%s", name);
    }
    return n > 0 && static_cast<size_t>(n) < size;
}

}  // namespace kvs

CKVSH_Uart::CKVSH_Uart()
    : reassembler_(this, 0), tx_(new uint8_t[kvs::kMaxMessage + kvs::kFrameHeadSize]) {}

CKVSH_Uart::~CKVSH_Uart() { Teardown(); }

bool CKVSH_Uart::Open(char* init) {
    if (port_ || !init) return false;
    kvs::SerialSettings settings;
    const char* name = kvs::ParseUartInit(init, &settings);
    // The name is kept (cut to 63 characters) for reports; the port opens by its full name.
    std::snprintf(name_, sizeof name_, "%s", name);
    char path[256];
    kvs::SerialPort* port =
        kvs::UartDevicePath(name, path, sizeof path) ? kvs::SerialOpen(path) : nullptr;
    if (!port) {
        kvs::Log(KVS_LEVEL_ERROR, kvs::TextId::kUartOpen, name_);
        return false;
    }
    kvs::SerialConfigure(port, settings);
    port_ = port;
    thread_done_.Reset();
    thread_ = std::thread([this] { ReceiveLoop(); });
    if (settle_ms_) std::this_thread::sleep_for(std::chrono::milliseconds(settle_ms_));
    return true;
}

void CKVSH_Uart::ReceiveLoop() {
    for (;;) {
        kvs::SerialWaitResult r = kvs::SerialWaitReadable(port_);
        if (r == kvs::SerialWaitResult::kStopped) break;
        long got = r == kvs::SerialWaitResult::kHangup
                       ? -1
                       : kvs::SerialRead(port_, reassembler_.WritePtr(), reassembler_.Space());
        if (got < 0) {
            // The other end is gone (unplugged adapter, closed terminal) and a hung-up line
            // stays readable for ever: report it once, stop reading, and let later requests
            // fail at once. The thread then only waits for the stop.
            kvs::Log(KVS_LEVEL_ERROR, kvs::TextId::kUartHangup, name_);
            MarkLinkLost();
            while (!kvs::SerialPauseUnlessStopped(port_, kLostPollMs)) {
            }
            break;
        }
        if (got > 0) reassembler_.Commit(static_cast<size_t>(got));
    }
    thread_done_.Set();
}

void CKVSH_Uart::OnFrameMessage(const uint8_t* msg, size_t n) { RecvMsg(msg, static_cast<int>(n)); }

void CKVSH_Uart::OnFrameError(kvs::FrameError error, unsigned a, unsigned b) {
    kvs::ReportFrameError(name_, error, a, b);
}

bool CKVSH_Uart::SendMsg(const uint8_t* msg, int length) {
    if (!port_ || !msg || length < 0 || static_cast<size_t>(length) > kvs::kMaxMessage)
        return false;
    if (LinkLost()) {
        kvs::Log(KVS_LEVEL_ERROR, kvs::TextId::kUartLost, name_, msg[6] & 0x7F);
        return false;
    }
    std::lock_guard<std::mutex> lock(write_mu_);
    const size_t total =
        kvs::EncodeFrame(msg, static_cast<size_t>(length), kvs::KeyByte(), tx_.get());
    // The write must finish within 2 ms per frame byte; the port's own write timeout
    // (10 ms per byte + 20 ms) is longer, so this wait is what bounds it.
    const unsigned wait = static_cast<unsigned>(
        std::min<size_t>(2 * total, kWriteMultiplierMs * total + kWriteConstantMs));
    return kvs::SerialWrite(port_, tx_.get(), total, wait);
}

void CKVSH_Uart::Teardown() {
    if (!port_) return;
    kvs::SerialStop(port_);
    if (!thread_done_.Wait(kStopWaitMs))
        kvs::Log(KVS_LEVEL_ERROR, kvs::TextId::kUartStopThread, name_);
    // Joined even when late: the thread uses this object.
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(write_mu_);
    kvs::SerialClose(port_);
    port_ = nullptr;
}

namespace kvs {

CKVSH_BaseComm* OpenUartConnection(char* init) {
    auto* conn = new CKVSH_Uart;
    if (conn->Open(init)) return conn;
    delete conn;
    return nullptr;
}

}  // namespace kvs
