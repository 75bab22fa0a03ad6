#include "session.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

#include "gbk.h"
#include "kvsh_vocab.h"

namespace kvsh {

namespace {

std::mutex g_errorMutex;
std::string g_lastError;

bool ValidUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        size_t n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 9;
        if (n == 9 || (n == 1 && c < 0xC2) || (n > 0 && i + n >= s.size())) return false;
        for (size_t k = 1; k <= n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n + 1;
    }
    return true;
}

// The start of a long text, for messages.
std::string Shown(const std::string& utf8) {
    if (utf8.size() <= 60) return "'" + utf8 + "'";
    size_t n = 60;
    while (n > 0 && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80) --n;
    return "'" + utf8.substr(0, n) + "...' (" + std::to_string(utf8.size()) + " bytes)";
}

}  // namespace

std::string Gbk(const std::string& utf8) {
    if (!ValidUtf8(utf8)) throw UsageError("an argument is not valid UTF-8 text");
    std::string gbk = kvs::Utf8ToGbk(utf8);
    // A character without a GBK form comes back as '?': refuse it rather than store '?'.
    if (std::count(gbk.begin(), gbk.end(), '?') != std::count(utf8.begin(), utf8.end(), '?'))
        throw UsageError(Shown(utf8) + " holds characters that the controller cannot store");
    return gbk;
}
std::string Utf8(const std::string& gbk) { return kvs::GbkToUtf8(gbk); }

void NoteLibraryLine(unsigned level, const std::string& utf8) {
    if (level != KVS_LEVEL_ERROR) return;
    std::lock_guard<std::mutex> lock(g_errorMutex);
    g_lastError = utf8;
}

std::string LastLibraryError() {
    std::lock_guard<std::mutex> lock(g_errorMutex);
    return g_lastError;
}

void ForgetLibraryError() {
    std::lock_guard<std::mutex> lock(g_errorMutex);
    g_lastError.clear();
}

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
    try {
        Open(command, checkKey);
    } catch (...) {
        Close();  // the destructor does not run for a constructor that throws
        throw;
    }
}

namespace {

// The library's reason, as " (reason)", or "".
std::string Reason() {
    const std::string e = LastLibraryError();
    return e.empty() ? std::string() : " (" + e + ")";
}

}  // namespace

void Session::Open(const std::string& command, bool checkKey) {
    const std::string key = Gbk(m_inv.key);
    KVSGetKey(key.c_str());
    std::string where;
    ForgetLibraryError();
    switch (m_inv.link) {
        case LinkKind::None:
            throw UsageError("no connection given: use --udp A.B.C.D, --serial PORT or --usb INDEX",
                             command);
        case LinkKind::Udp: {
            where = m_inv.udpAddress;
            const unsigned char* ip = m_inv.udp;
            // A controller has one unicast address; these never answer as one.
            if ((ip[0] == 255 && ip[1] == 255 && ip[2] == 255 && ip[3] == 255) ||
                (ip[0] >= 224 && ip[0] <= 239) || ip[0] == 0)
                throw UsageError(where + " is not the address of one controller", command);
            m_handle = mKVS_Initial_UDP(ip[0], ip[1], ip[2], ip[3]);
            if (!m_handle)
                throw Failure(kExitNoAnswer, "cannot open the UDP link to " + where + Reason());
            break;
        }
        case LinkKind::Serial: {
            where = m_inv.serial;
            std::string init = Gbk(m_inv.serial);
            std::vector<char> buf(init.begin(), init.end());
            buf.push_back('\0');
            m_handle = mKVS_Initial_UART(buf.data());
            if (!m_handle) throw Failure(kExitNoAnswer, "cannot open serial port " + where);
            break;
        }
        case LinkKind::Usb:
            where = "USB controller " + std::to_string(m_inv.usbIndex);
            m_handle = mKVS_Initial_USB(m_inv.usbIndex);
            if (!m_handle) throw Failure(kExitNoAnswer, "cannot open " + where + Reason());
            break;
    }
    // --timeout bounds every ordinary request inside the library too.
    if (m_inv.timeoutSeconds < 10.0)
        mKVS_SetRequestWait(m_handle, std::max(1, static_cast<int>(m_inv.timeoutSeconds * 1000)));
    if (!checkKey) return;
    const std::string hint = " (is it running, and is the key right?)";
    bool accepted = Call(
        where, [&] { return mKVS_Key(m_handle, key.c_str()); }, 10.0, hint);
    if (accepted) return;
    switch (mKVS_GetLastResult(m_handle, nullptr)) {
        case KVS_RESULT_REFUSED:
            throw Failure(kExitNoAnswer, "the controller at " + where + " refused the key");
        case KVS_RESULT_NO_ANSWER:
            throw Failure(kExitNoAnswer, where + ": no answer from the controller" + hint);
        default:
            throw Failure(kExitNoAnswer, where + ": the key check failed: " + FailureText());
    }
}

void Session::Close() {
    if (m_handle) mKVS_Clear(m_handle);
    m_handle = nullptr;
}

Session::~Session() { Close(); }

std::string Session::ComponentManager() const { return Gbk(KVS_COMPONENT_MANAGER); }

int Session::ClassifyFailure() const {
    switch (mKVS_GetLastResult(m_handle, nullptr)) {
        case KVS_RESULT_NO_ANSWER:
        case KVS_RESULT_NOT_SENT:
            return kExitNoAnswer;
        default:
            return kExitRefused;
    }
}

std::string Session::FailureText() const {
    int status = 0;
    switch (mKVS_GetLastResult(m_handle, &status)) {
        case KVS_RESULT_REFUSED:
            return "refused by the controller (status " + std::to_string(status) + ")";
        case KVS_RESULT_NO_ANSWER:
            return "no answer from the controller";
        case KVS_RESULT_MALFORMED:
            return "malformed answer from the controller";
        case KVS_RESULT_NOT_SENT:
            return "the request could not be sent" + Reason();
        default:
            return "the controller's answer could not be used";
    }
}

void Session::Fail(const std::string& what) {
    throw Failure(ClassifyFailure(), what + ": " + FailureText());
}

}  // namespace kvsh
