// Auto-reset and manual-reset events on a mutex and a condition variable.
// Thread-safe: any thread may Set, Reset or Wait.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kvs {

class Event {
  public:
    explicit Event(bool manual_reset = false) : manual_(manual_reset) {}

    void Set() {
        {
            std::lock_guard<std::mutex> lock(m_);
            signalled_ = true;
        }
        if (manual_)
            cv_.notify_all();
        else
            cv_.notify_one();
    }
    void Reset() {
        std::lock_guard<std::mutex> lock(m_);
        signalled_ = false;
    }
    // True when signalled within ms milliseconds; an auto-reset event is then reset.
    bool Wait(unsigned ms) {
        std::unique_lock<std::mutex> lock(m_);
        if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return signalled_; }))
            return false;
        if (!manual_) signalled_ = false;
        return true;
    }
    void WaitForever() {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [this] { return signalled_; });
        if (!manual_) signalled_ = false;
    }

  private:
    std::mutex m_;
    std::condition_variable cv_;
    bool signalled_ = false;
    bool manual_;
};

}  // namespace kvs
