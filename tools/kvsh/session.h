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

// UTF-8 (terminal) <-> GBK (wire).
std::string Gbk(const std::string& utf8);
std::string Utf8(const std::string& gbk);

class Session {
  public:
    // Opens the link of the invocation; with checkKey presents the key (command 30) so that a
    // wrong key or a dead link is reported at once. Throws Failure / UsageError.
    Session(const Invocation& inv, const std::string& command, bool checkKey = true);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    KVS_HANDLE Handle() const { return m_handle; }
    const Invocation& Inv() const { return m_inv; }

    // Runs one library call under the watchdog. libraryWait is how long the library itself
    // waits for this request (seconds); the watchdog allows the larger of it and --timeout
    // only when the request legitimately takes longer than one ordinary answer.
    template <class F>
    auto Call(const std::string& what, F&& f, double libraryWait = 10.0,
              const std::string& hint = {}) {
        m_watchdog.Arm(
            libraryWait > 10.0 ? std::max(libraryWait, m_inv.timeoutSeconds) : m_inv.timeoutSeconds,
            what, hint);
        auto start = std::chrono::steady_clock::now();
        auto result = f();
        m_lastElapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        m_lastWait = libraryWait;
        m_watchdog.Disarm();
        return result;
    }

    // After a failed call: exit 1 when the controller answers (it refused), exit 3 when it
    // does not (the last call ran into its wait, or a short probe gets no answer).
    int ClassifyFailure();
    [[noreturn]] void Fail(const std::string& what);

    std::string ComponentManager() const;

  private:
    Invocation m_inv;
    std::string m_command;
    KVS_HANDLE m_handle = nullptr;
    Watchdog m_watchdog;
    double m_lastElapsed = 0;
    double m_lastWait = 10.0;
};

}  // namespace kvsh
