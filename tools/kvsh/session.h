// One connection of kvsh to the controller, with the watchdog that bounds every wait and the
// rule that tells a refusal (exit 1) from a missing answer (exit 3).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "args.h"
#include "kvsh_user.h"

namespace kvsh {

// Ends the process with exit status 3 when an armed wait runs past its deadline: the link
// library waits its own fixed times, and --timeout may ask for less. Arm/Disarm are called by
// the thread making requests; the watchdog's own thread only reads the deadline. Arm wakes the
// watchdog only when it sleeps without a deadline, so a run of quick requests costs no thread
// wake-ups (a later deadline is picked up when the earlier one passes).
class Watchdog {
  public:
    Watchdog();
    ~Watchdog();
    // what names the request; hint is appended to the message ("" for none).
    void Arm(double seconds, const std::string& what, const std::string& hint = {});
    void Disarm();

  private:
    void Run();
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_armed = false;
    bool m_idle = false;  // the thread waits without a deadline; Arm must wake it
    bool m_quit = false;
    std::chrono::steady_clock::time_point m_deadline;
    double m_seconds = 0;
    std::string m_what, m_hint;
    std::thread m_thread;
};

// UTF-8 (terminal) <-> GBK (wire). Gbk refuses (UsageError) a text that is not valid UTF-8 or
// holds a character GBK cannot write, instead of sending '?' in its place.
std::string Gbk(const std::string& utf8);
std::string Utf8(const std::string& gbk);

// The library's latest level-1 log line (UTF-8), so that a failure can name the library's
// reason (kvsh's log callback records every line here; any thread).
void NoteLibraryLine(unsigned level, const std::string& utf8);
std::string LastLibraryError();
void ForgetLibraryError();

class Session {
  public:
    // Opens the link of the invocation; with checkKey presents the key (command 30) so that a
    // wrong key or a dead link is reported at once. Throws Failure / UsageError, and then has
    // closed the link again.
    Session(const Invocation& inv, const std::string& command, bool checkKey = true);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    KVS_HANDLE Handle() const { return m_handle; }
    const Invocation& Inv() const { return m_inv; }

    // Runs one library call under the watchdog. libraryWait is how long the library itself
    // waits for this request (seconds); the watchdog allows the larger of it and --timeout
    // only when the request legitimately takes longer than one ordinary answer. The library's
    // own request wait is --timeout, so the watchdog (a little later) is only a backstop.
    template <class F>
    auto Call(const std::string& what, F&& f, double libraryWait = 10.0,
              const std::string& hint = {}) {
        const double limit =
            libraryWait > 10.0 ? std::max(libraryWait, m_inv.timeoutSeconds) : m_inv.timeoutSeconds;
        m_watchdog.Arm(limit + kWatchdogSlackSeconds, what, hint);
        ForgetLibraryError();
        auto result = f();
        m_watchdog.Disarm();
        return result;
    }

    // After a failed call, from the outcome of its last request: exit 1 when the controller
    // answered (refused, or with a malformed reply), exit 3 when it did not or nothing could
    // be sent. No further request is made.
    int ClassifyFailure() const;
    // "refused by the controller (status 1)", "no answer from the controller", ...
    std::string FailureText() const;
    [[noreturn]] void Fail(const std::string& what);

    std::string ComponentManager() const;

  private:
    static constexpr double kWatchdogSlackSeconds = 1.0;
    void Open(const std::string& command, bool checkKey);
    void Close();

    Invocation m_inv;
    std::string m_command;
    KVS_HANDLE m_handle = nullptr;
    Watchdog m_watchdog;
};

}  // namespace kvsh
