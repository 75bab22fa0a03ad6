// CKVSH_BaseComm: the request engine at the base of every connection.
//
// A request takes the next of 16 slots (round robin, never searched), is sent by the
// transport's SendMsg, and its caller waits on that slot until the receive thread copies the
// matching reply in (matched by command code with bit 7 set, lowest busy slot first) or the
// wait times out. Unsolicited messages go to the registered callback.
//
// Threading: Request/RequestTimed may be called from any number of threads at once (up to 16
// in flight; a request whose slot is still held by an earlier one waits for it). RecvMsg runs
// on the transport's receive thread. One mutex guards the slot states and the callback pair;
// reply bytes are copied under it. The callback is called without it.
// Transports must stop their receive thread in their own destructor, before this one runs.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "kvsh_user.h"

class CKVSH_BaseComm {
  public:
    static constexpr int kSlots = 16;
    static constexpr unsigned kDefaultWaitMs = 10000;

    CKVSH_BaseComm();
    virtual ~CKVSH_BaseComm();
    CKVSH_BaseComm(const CKVSH_BaseComm&) = delete;
    CKVSH_BaseComm& operator=(const CKVSH_BaseComm&) = delete;

    // Receive side: a whole message from the transport, or (msg null) a status notice in
    // length: 0 recovered, -1 recovering, -2 lost.
    virtual void RecvMsg(const uint8_t* msg, int length);
    // Sends one message as one frame; true when the transport handed it all to the link.
    virtual bool SendMsg(const uint8_t* msg, int length) = 0;

    // How the engine's part of a request ended.
    enum class Outcome : uint8_t { kAnswered, kNoAnswer, kMalformed, kNotSent };

    // Sends msg and, with wait, waits up to the request wait (WaitMs()) for its reply. Returns
    // the reply (owned by the connection, valid for 16 further requests), the caller's own msg
    // when wait is false and the send succeeded, or nullptr (send failed, timeout, malformed
    // reply); *outcome (when given) tells which.
    const T_MSG_HEAD* Request(const T_MSG_HEAD* msg, bool wait, Outcome* outcome = nullptr);
    // As Request with wait, waiting ms milliseconds.
    const T_MSG_HEAD* RequestTimed(const T_MSG_HEAD* msg, unsigned ms, Outcome* outcome = nullptr);

    // As Request (wait) or RequestTimed, but a reply's slot stays reserved until
    // ReleaseReply(reply), so that the caller can decode it before another thread's request
    // takes the slot over. Every non-null result must be released; releasing the caller's own
    // message (wait false) or nullptr does nothing.
    const T_MSG_HEAD* RequestHeld(const T_MSG_HEAD* msg, bool wait, unsigned ms,
                                  Outcome* outcome = nullptr);
    void ReleaseReply(const T_MSG_HEAD* reply);

    // The wait of an ordinary request (ms); below 1 restores the default. Any thread.
    void SetWaitMs(int ms) {
        wait_ms_.store(ms < 1 ? kDefaultWaitMs : static_cast<unsigned>(ms),
                       std::memory_order_relaxed);
    }
    unsigned WaitMs() const { return wait_ms_.load(std::memory_order_relaxed); }

    // The outcome (a KVS_RESULT) of the calling thread's last request on this connection and
    // its status byte; KVS_RESULT_NOT_SENT before its first. Kept per thread, without a lock.
    void SetLastResult(int result, int status);
    int LastResult(int* status) const;

    // A transport whose line is gone for good says so here; its SendMsg then refuses at once,
    // so that requests fail as not sent instead of waiting out their time.
    void MarkLinkLost() { lost_.store(true, std::memory_order_relaxed); }
    bool LinkLost() const { return lost_.load(std::memory_order_relaxed); }

    // Stores the callback for unsolicited messages and its user pointer (replacing both).
    void SetRecvCallback(KVS_RECV_CALLBACK callback, void* user);

    // The slot the next request will take (tests).
    int NextSlot() const { return static_cast<int>(next_.load() % kSlots); }

  private:
    enum class SlotState : uint8_t { kIdle, kWaiting, kAnswered, kMalformed, kHeld };
    struct Slot {
        SlotState state = SlotState::kIdle;
        uint8_t expected = 0;
        std::condition_variable cv;    // the reply arrived (or was malformed)
        std::condition_variable idle;  // the slot was released
        std::unique_ptr<uint8_t[]> reply;
    };

    const T_MSG_HEAD* Transact(const T_MSG_HEAD* msg, bool wait, unsigned ms, bool hold,
                               Outcome* outcome);
    void Release(Slot& slot);  // with mu_ held

    std::mutex mu_;
    Slot slots_[kSlots];
    std::atomic<unsigned> next_{0};
    KVS_RECV_CALLBACK callback_ = nullptr;
    void* user_ = nullptr;
    std::atomic<unsigned> wait_ms_{kDefaultWaitMs};
    std::atomic<bool> lost_{false};
    // Distinguishes this connection from an earlier one at the same address in the per-thread
    // outcome records.
    const uint64_t serial_;
};
