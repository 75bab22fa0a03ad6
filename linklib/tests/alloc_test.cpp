// Once a connection is open, a request makes no heap allocation: the message is built on the
// caller's stack, the frame in the connection's send buffer, and the reply lands in a slot
// allocated with the connection. Every allocation in the process is counted: operator new is
// replaced, and the library's own malloc calls are wrapped at link time (-Wl,--wrap).
// The controller is a forked process, so that its work is not counted.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "frame.h"
#include "kvsh_user.h"

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
void Count() {
    if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
}
}  // namespace

extern "C" {
void* __real_malloc(size_t);
void* __real_calloc(size_t, size_t);
void* __real_realloc(void*, size_t);
void* __wrap_malloc(size_t n) {
    Count();
    return __real_malloc(n);
}
void* __wrap_calloc(size_t n, size_t m) {
    Count();
    return __real_calloc(n, m);
}
void* __wrap_realloc(void* p, size_t n) {
    Count();
    return __real_realloc(p, n);
}
}

// Replacement operators pair malloc with free on purpose.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(size_t n) {
    Count();
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept {
    Count();
    return std::malloc(n ? n : 1);
}
void* operator new[](size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace {

// A minimal controller: answers every frame with status 0 and the text "v" at offset 20.
[[noreturn]] void Responder(int fd) {
    uint8_t in[65536], reply[32] = {}, frame[64];
    for (;;) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = recvfrom(fd, in, sizeof in, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 18) continue;
        reply[0] = 22;
        reply[6] = static_cast<uint8_t>(in[6 + 6] | 0x80);
        reply[20] = 'v';
        size_t f = kvs::EncodeFrame(reply, 22, 0, frame);
        sendto(fd, frame, f, 0, reinterpret_cast<sockaddr*>(&from), len);
    }
}

TEST(Allocation, RequestsAllocateNothingOnceTheConnectionIsOpen) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(30001);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) Responder(fd);
    close(fd);

    ASSERT_TRUE(KVS_Initial_UDP(127, 0, 0, 1));
    for (int i = 0; i < 32; ++i) ASSERT_NE(KVS_GetAttrVal("c-1", "a"), nullptr);  // warm up
    g_allocations = 0;
    g_counting = true;
    int ok = 0;
    for (int i = 0; i < 200; ++i) {
        ok += KVS_GetAttrVal("c-1", "a") != nullptr;
        ok += KVS_SetAttributeVal("c-1", "a", "1", true);
        ok += KVS_SetAttributeVal("c-1", "a", "1", false);
    }
    g_counting = false;
    EXPECT_EQ(ok, 600);
    EXPECT_EQ(g_allocations.load(), 0);

    // The counter itself works: opening a connection allocates.
    g_counting = true;
    KVS_Clear();
    KVS_Initial_UDP(127, 0, 0, 1);
    g_counting = false;
    EXPECT_GT(g_allocations.load(), 0);
    KVS_Clear();
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

}  // namespace
