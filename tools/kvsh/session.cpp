#include "session.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "gbk.h"
#include "kvsh_vocab.h"

namespace kvsh {

std::string Gbk(const std::string& utf8) { return kvs::Utf8ToGbk(utf8); }
std::string Utf8(const std::string& gbk) { return kvs::GbkToUtf8(gbk); }

Watchdog::Watchdog() : m_thread([this] { Run(); }) {}

Watchdog::~Watchdog() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    m_cv.notify_all();
    m_thread.join();
}

void Watchdog::Arm(double seconds, const std::string& what, const std::string& hint) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_armed = true;
    m_hint = hint;
    m_seconds = seconds;
    m_what = what;
    m_deadline = std::chrono::steady_clock::now() +
                 std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                     std::chrono::duration<double>(seconds));
    if (m_idle) m_cv.notify_all();
}

void Watchdog::Disarm() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_armed = false;
}

void Watchdog::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_quit) {
        if (!m_armed) {
            m_idle = true;
            m_cv.wait(lock);
            m_idle = false;
            continue;
        }
        m_cv.wait_until(lock, m_deadline);
        if (!m_quit && m_armed && std::chrono::steady_clock::now() >= m_deadline) {
            std::fprintf(stderr, "kvsh: %s: no answer from the controller within %g s%s\n",
                         m_what.c_str(), m_seconds, m_hint.c_str());
            std::fflush(stderr);
            std::fflush(stdout);
            _exit(kExitNoAnswer);
        }
    }
}

Session::Session(const Invocation& inv, const std::string& command, bool checkKey)
    : m_inv(inv), m_command(command) {
    const std::string key = Gbk(inv.key);
    KVSGetKey(key.c_str());
    std::string where;
    switch (inv.link) {
        case LinkKind::None:
            throw UsageError("no connection given: use --udp A.B.C.D, --serial PORT or --usb INDEX",
                             command);
        case LinkKind::Udp:
            where = inv.udpAddress;
            m_handle = mKVS_Initial_UDP(inv.udp[0], inv.udp[1], inv.udp[2], inv.udp[3]);
            if (!m_handle)
                throw Failure(kExitNoAnswer, "cannot open the UDP link to " + where +
                                                 " (is local port 30000 in use?)");
            break;
        case LinkKind::Serial: {
            where = inv.serial;
            std::string init = Gbk(inv.serial);
            std::vector<char> buf(init.begin(), init.end());
            buf.push_back('\0');
            m_handle = mKVS_Initial_UART(buf.data());
            if (!m_handle) throw Failure(kExitNoAnswer, "cannot open serial port " + where);
            break;
        }
        case LinkKind::Usb:
            where = "USB controller " + std::to_string(inv.usbIndex);
            m_handle = mKVS_Initial_USB(inv.usbIndex);
            if (!m_handle) throw Failure(kExitNoAnswer, "cannot open " + where);
            break;
    }
    if (!checkKey) return;
    const std::string hint = " (is it running, and is the key right?)";
    bool accepted = Call(
        where, [&] { return mKVS_Key(m_handle, key.c_str()); }, 10.0, hint);
    if (accepted) return;
    if (ClassifyFailure() == kExitRefused)
        throw Failure(kExitNoAnswer, "the controller at " + where + " refused the key");
    throw Failure(kExitNoAnswer, where + ": no answer from the controller" + hint);
}

Session::~Session() {
    if (m_handle) mKVS_Clear(m_handle);
}

std::string Session::ComponentManager() const { return Gbk(KVS_COMPONENT_MANAGER); }

int Session::ClassifyFailure() {
    // A request that ran into the library's wait got no answer; one that failed quickly got a
    // refusal, or could not be sent at all, which a short probe tells apart.
    if (m_lastElapsed >= m_lastWait - 0.25) return kExitNoAnswer;
    const std::string manager = ComponentManager(), running = Gbk(KVS_ATTR_RUN_STATE);
    const char* v =
        Call("probe", [&] { return mKVS_GetAttrVal(m_handle, manager.c_str(), running.c_str()); });
    return v ? kExitRefused : kExitNoAnswer;
}

void Session::Fail(const std::string& what) {
    int code = ClassifyFailure();
    throw Failure(code, what + (code == kExitRefused ? ": refused by the controller"
                                                     : ": no answer from the controller"));
}

}  // namespace kvsh
