#include "basecomm.h"

#include <chrono>
#include <cstring>

#include "log.h"
#include "msg.h"

namespace {

std::atomic<uint64_t> g_serials{0};

// The last outcomes of this thread, one per connection it used lately. A thread rarely talks
// to more than a few connections; the oldest record gives way to a new connection.
struct LastResultRecord {
    uint64_t serial = 0;  // 0: unused
    int result = KVS_RESULT_NOT_SENT;
    int status = 0;
};
constexpr int kLastResultRecords = 8;
thread_local LastResultRecord t_last[kLastResultRecords];
thread_local unsigned t_last_next = 0;

}  // namespace

CKVSH_BaseComm::CKVSH_BaseComm() : serial_(g_serials.fetch_add(1) + 1) {
    for (Slot& s : slots_) s.reply.reset(new uint8_t[kvs::kBufferSize]);
}

CKVSH_BaseComm::~CKVSH_BaseComm() = default;

void CKVSH_BaseComm::SetRecvCallback(KVS_RECV_CALLBACK callback, void* user) {
    std::lock_guard<std::mutex> lock(mu_);
    callback_ = callback;
    user_ = user;
}

void CKVSH_BaseComm::SetLastResult(int result, int status) {
    for (LastResultRecord& r : t_last) {
        if (r.serial != serial_) continue;
        r.result = result;
        r.status = status;
        return;
    }
    t_last[t_last_next++ % kLastResultRecords] = {serial_, result, status};
}

int CKVSH_BaseComm::LastResult(int* status) const {
    for (const LastResultRecord& r : t_last) {
        if (r.serial != serial_) continue;
        if (status) *status = r.status;
        return r.result;
    }
    if (status) *status = 0;
    return KVS_RESULT_NOT_SENT;
}

const T_MSG_HEAD* CKVSH_BaseComm::Request(const T_MSG_HEAD* msg, bool wait, Outcome* outcome) {
    return Transact(msg, wait, WaitMs(), false, outcome);
}

const T_MSG_HEAD* CKVSH_BaseComm::RequestTimed(const T_MSG_HEAD* msg, unsigned ms,
                                               Outcome* outcome) {
    return Transact(msg, true, ms, false, outcome);
}

const T_MSG_HEAD* CKVSH_BaseComm::RequestHeld(const T_MSG_HEAD* msg, bool wait, unsigned ms,
                                              Outcome* outcome) {
    return Transact(msg, wait, ms, true, outcome);
}

void CKVSH_BaseComm::ReleaseReply(const T_MSG_HEAD* reply) {
    if (!reply) return;
    for (Slot& s : slots_) {
        if (reinterpret_cast<const T_MSG_HEAD*>(s.reply.get()) != reply) continue;
        std::lock_guard<std::mutex> lock(mu_);
        if (s.state == SlotState::kHeld) Release(s);
        return;
    }
}

const T_MSG_HEAD* CKVSH_BaseComm::Transact(const T_MSG_HEAD* msg, bool wait, unsigned ms, bool hold,
                                           Outcome* outcome) {
    Outcome ignored;
    if (!outcome) outcome = &ignored;
    *outcome = Outcome::kNotSent;
    // Concurrent callers each take their own index; a slot is never searched.
    Slot& slot = slots_[next_.fetch_add(1, std::memory_order_relaxed) % kSlots];
    const uint8_t cmd = msg->cmd & 0x7F;
    std::unique_lock<std::mutex> lock(mu_);
    // With many threads the rotation can come back to a slot whose request is still waiting.
    // Sharing it would hand one caller the other's reply and lose the other's, so the later
    // request waits for the slot (at most the earlier request's own time-out).
    slot.idle.wait(lock, [&] { return slot.state == SlotState::kIdle; });
    slot.state = SlotState::kWaiting;
    slot.expected = cmd;
    lock.unlock();
    if (!SendMsg(reinterpret_cast<const uint8_t*>(msg), msg->length)) {
        lock.lock();
        Release(slot);
        return nullptr;
    }
    lock.lock();
    if (!wait) {
        Release(slot);
        *outcome = Outcome::kAnswered;
        return msg;
    }
    bool done = slot.cv.wait_for(lock, std::chrono::milliseconds(ms),
                                 [&] { return slot.state != SlotState::kWaiting; });
    SlotState state = slot.state;
    if (hold && state == SlotState::kAnswered)
        slot.state = SlotState::kHeld;  // released by ReleaseReply once decoded
    else
        Release(slot);
    lock.unlock();
    if (!done) {
        *outcome = Outcome::kNoAnswer;
        kvs::Log(KVS_LEVEL_ERROR, kvs::TextId::kReplyTimeout, static_cast<int>(cmd));
        return nullptr;
    }
    if (state != SlotState::kAnswered) {  // reported by RecvMsg
        *outcome = Outcome::kMalformed;
        return nullptr;
    }
    *outcome = Outcome::kAnswered;
    return reinterpret_cast<const T_MSG_HEAD*>(slot.reply.get());
}

void CKVSH_BaseComm::Release(Slot& slot) {
    slot.state = SlotState::kIdle;
    slot.idle.notify_one();
}

void CKVSH_BaseComm::RecvMsg(const uint8_t* msg, int length) {
    if (!msg) {
        switch (length) {
            case 0:
                kvs::Log(KVS_LEVEL_ERROR, kvs::TextId::kRecovered);
                break;
            case -1:
                kvs::Log(KVS_LEVEL_ERROR, kvs::TextId::kRecovering);
                break;
            case -2:
                kvs::Log(KVS_LEVEL_ERROR, kvs::TextId::kUnrecoverable);
                break;
            default:
                break;
        }
        return;
    }
    if (length < static_cast<int>(kvs::kHeadSize)) {
        int cmd = length > 6 ? msg[6] & 0x7F : -1;
        kvs::Log(KVS_LEVEL_ERROR, kvs::TextId::kMalformedReply, cmd, length, length);
        return;
    }
    const uint8_t cmd = msg[6];
    if (!(cmd & kvs::kReplyBit)) {
        KVS_RECV_CALLBACK cb;
        void* user;
        {
            std::lock_guard<std::mutex> lock(mu_);
            cb = callback_;
            user = user_;
        }
        if (cb) cb(msg, length, user);
        return;
    }
    int32_t declared;
    std::memcpy(&declared, msg, 4);
    const bool malformed = declared < static_cast<int32_t>(kvs::kHeadSize) || declared > length;
    Slot* matched = nullptr;
    {
        std::lock_guard<std::mutex> lock(mu_);
        for (Slot& s : slots_) {
            if (s.state != SlotState::kWaiting || (s.expected | kvs::kReplyBit) != cmd) continue;
            if (malformed) {
                s.state = SlotState::kMalformed;
            } else {
                // Only the reply's own length is copied, never the whole slot.
                std::memcpy(s.reply.get(), msg, static_cast<size_t>(declared));
                s.state = SlotState::kAnswered;
            }
            matched = &s;
            break;
        }
    }
    // Woken after the lock is released, so that the caller does not wake only to block on it.
    // The slot outlives the call, and a caller that timed out meanwhile ignores the wake.
    if (matched) matched->cv.notify_one();
    if (!matched)
        kvs::Log(KVS_LEVEL_ERROR, kvs::TextId::kUnmatchedReply, cmd & 0x7F);
    else if (malformed)
        kvs::Log(KVS_LEVEL_ERROR, kvs::TextId::kMalformedReply, cmd & 0x7F, declared, length);
}
