#include "log.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "kvsh_user.h"

namespace kvs {

namespace {
constexpr int kRingSize = 32;
KVS_LOG_ENTRY g_ring[kRingSize];
std::atomic<unsigned> g_next{0};
std::atomic<KVS_HWND> g_wnd{nullptr};
std::atomic<KVS_POST_FUNC> g_post{nullptr};
}  // namespace

void LogV(unsigned level, const char* fmt, va_list args) {
    if (!fmt) return;
    // Each message takes its own entry, so concurrent writers never share one.
    unsigned index = g_next.fetch_add(1, std::memory_order_relaxed) % kRingSize;
    KVS_LOG_ENTRY& e = g_ring[index];
    std::vsnprintf(e.text, sizeof e.text, fmt, args);
    std::time_t now = std::time(nullptr);
    std::tm tm_now{};
    localtime_r(&now, &tm_now);
    std::snprintf(e.time, sizeof e.time, "%02d:%02d:%02d", tm_now.tm_hour, tm_now.tm_min,
                  tm_now.tm_sec);
    KVS_HWND wnd = g_wnd.load();
    KVS_POST_FUNC post = g_post.load();
    if (wnd && post)
        post(wnd, KVS_WM_INFO_MESSAGE, static_cast<uintptr_t>(level),
             reinterpret_cast<intptr_t>(&e));
}

void Log(unsigned level, TextId id, ...) {
    va_list args;
    va_start(args, id);
    LogV(level, Text(id), args);
    va_end(args);
}

void ReportFrameError(const char* transport, FrameError error, unsigned a, unsigned b) {
    switch (error) {
        case FrameError::kBadLead:
            Log(KVS_LEVEL_ERROR, TextId::kBadLead, transport, a);
            break;
        case FrameError::kBadChecksum:
            Log(KVS_LEVEL_ERROR, TextId::kBadChecksum, transport, a, b);
            break;
        case FrameError::kTooLong:
            Log(KVS_LEVEL_ERROR, TextId::kFrameTooLong, transport, a);
            break;
        case FrameError::kOverflow:
            Log(KVS_LEVEL_ERROR, TextId::kRxOverflow, transport, a);
            break;
    }
}

int LogRingNext() { return static_cast<int>(g_next.load() % kRingSize); }

}  // namespace kvs

extern "C" {

KVS_API void KVS_RegistInfoPostFunc(KVS_POST_FUNC post) { kvs::g_post.store(post); }
KVS_API void KVS_RegistInfoWnd(KVS_HWND wnd) { kvs::g_wnd.store(wnd); }
KVS_API void KVS_UnregistInfoWnd(void) { kvs::g_wnd.store(nullptr); }

KVS_API void KVS_VPrintf(unsigned int level, const char* fmt, va_list args) {
    kvs::LogV(level, fmt, args);
}

KVS_API void KVS_Printf(unsigned int level, const char* fmt, ...) {
    if (!fmt) return;
    va_list args;
    va_start(args, fmt);
    kvs::LogV(level, fmt, args);
    va_end(args);
}

}  // extern "C"
