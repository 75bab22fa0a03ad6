// Link library round trips against the benchmark peer, in one run: the library's sequential
// request (KVS_GetAttrVal), a raw UDP ping-pong of the very same datagrams, and a Modbus-TCP
// register read with libmodbus; then throughput with 16 requests in flight, through the
// library from 16 threads and raw from one thread. Prints microseconds per round trip,
// requests per second and the ratios.
#include <arpa/inet.h>
#include <kvsh_user.h>
#include <modbus.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char kComp[] = "\xd7\xe9\xbc\xfe\xb9\xdc\xc0\xed\xc6\xf7";  // "组件管理器"
const char kAttr[] = "\xd4\xcb\xd0\xd0\xd7\xb4\xcc\xac";          // "运行状态"

double UsPer(Clock::time_point start, int n) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / n;
}

// The frame KVS_GetAttrVal sends (key byte 0), built by hand so that the raw client sends
// exactly the library's datagram.
std::vector<uint8_t> LibraryFrame() {
    std::vector<uint8_t> m(12, 0);
    m[6] = 4;
    m[7] = 1;
    m.insert(m.end(), kComp, kComp + sizeof kComp);
    m.insert(m.end(), kAttr, kAttr + sizeof kAttr);
    m[0] = static_cast<uint8_t>(m.size());
    unsigned sum = 0;
    for (uint8_t b : m) sum += b;
    std::vector<uint8_t> f = {
        0xAA, 0x55, static_cast<uint8_t>(m.size()), 0, static_cast<uint8_t>(sum), 0};
    f.insert(f.end(), m.begin(), m.end());
    return f;
}

int RawSocket() {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(30011);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) std::exit(1);
    return fd;
}

double Library(int n) {
    auto start = Clock::now();
    for (int i = 0; i < n; ++i)
        if (!KVS_GetAttrVal(kComp, kAttr)) std::exit(2);
    return UsPer(start, n);
}

double Raw(int fd, const std::vector<uint8_t>& frame, int n) {
    uint8_t buf[2048];
    auto start = Clock::now();
    for (int i = 0; i < n; ++i) {
        send(fd, frame.data(), frame.size(), 0);
        if (recv(fd, buf, sizeof buf, 0) <= 0) std::exit(3);
    }
    return UsPer(start, n);
}

double Modbus(modbus_t* ctx, int n) {
    uint16_t reg[1];
    auto start = Clock::now();
    for (int i = 0; i < n; ++i)
        if (modbus_read_registers(ctx, 0, 1, reg) != 1) std::exit(4);
    return UsPer(start, n);
}

// The 16 threads of the in-flight measurement each run a different operation. Replies are
// matched to requests by command code, so 16 threads issuing one command would queue behind
// each other instead of being in flight at once.
bool Operation(int which) {
    switch (which) {
        case 0:
            return KVS_GetComponentTree() != nullptr;
        case 1:
            return KVS_GetComponentAttrInfo(kComp) != nullptr;
        case 2:
            return KVS_GetAttrInfo(kComp, kAttr) != nullptr;
        case 3:
            return KVS_GetAttrVal(kComp, kAttr) != nullptr;
        case 4:
            return KVS_GetAttrRealVal(kComp, kAttr) != nullptr;
        case 5:
            return KVS_GetAttributeLink(kComp, kAttr) != nullptr;
        case 6:
            return KVS_SetAttributeVal(kComp, kAttr, "1", true);
        case 7:
            return KVS_SetAttributeLink(kComp, kAttr, "");
        case 8:
            return KVS_AddNewComponent(kComp, nullptr) != nullptr;
        case 9:
            return KVS_DelComponent(kComp);
        case 10:
            return KVS_GetComponentSlotInfo(kComp) != nullptr;
        case 11:
            return KVS_ConfigFile_Operate(4, nullptr, nullptr, nullptr, nullptr);
        case 12: {
            int n = 0;
            return KVS_GetAttrMemData(kComp, kAttr, &n) != nullptr;
        }
        case 13:
            return KVS_GetBatchAttrVal("a-1.b;", 1) != nullptr;
        case 14:
            return KVS_SetBatchAttrVal("a-1.b;", "1;", 1, true);
        default:
            return KVS_Key("00000000");
    }
}

// Requests per second with 16 library calls in flight from 16 threads.
double LibraryInFlight(int n) {
    constexpr int kThreads = 16;
    std::atomic<int> left{n};
    std::vector<std::thread> pool;
    auto start = Clock::now();
    for (int t = 0; t < kThreads; ++t)
        pool.emplace_back([&, t] {
            while (left.fetch_sub(1) > 0)
                if (!Operation(t)) std::exit(5);
        });
    for (auto& th : pool) th.join();
    return n / std::chrono::duration<double>(Clock::now() - start).count();
}

// Requests per second with 16 raw datagrams in flight from one thread.
double RawInFlight(int fd, const std::vector<uint8_t>& frame, int n) {
    uint8_t buf[2048];
    auto start = Clock::now();
    int sent = 0;
    for (; sent < 16; ++sent) send(fd, frame.data(), frame.size(), 0);
    for (int got = 0; got < n; ++got) {
        if (recv(fd, buf, sizeof buf, 0) <= 0) std::exit(6);
        if (sent < n) {
            send(fd, frame.data(), frame.size(), 0);
            ++sent;
        }
    }
    return n / std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 20000;
    const char* label = argc > 2 ? argv[2] : "";
    if (!KVS_Initial_UDP(127, 0, 0, 1)) return 1;
    int raw = RawSocket();
    const std::vector<uint8_t> frame = LibraryFrame();
    modbus_t* mb = modbus_new_tcp("127.0.0.1", 1502);
    if (modbus_connect(mb) != 0) return 1;

    Library(n / 10);
    Raw(raw, frame, n / 10);
    Modbus(mb, n / 10);
    // Interleaved repetitions, so that all three see the same conditions; medians reported.
    std::vector<double> lib, rawv, mod, lib16, raw16;
    for (int rep = 0; rep < 5; ++rep) {
        lib.push_back(Library(n));
        rawv.push_back(Raw(raw, frame, n));
        mod.push_back(Modbus(mb, n));
        lib16.push_back(LibraryInFlight(n));
        raw16.push_back(RawInFlight(raw, frame, n));
    }
    const double l = Median(lib), r = Median(rawv), m = Median(mod);
    const double l16 = Median(lib16), r16 = Median(raw16);
    std::printf("%s\n", label);
    std::printf("  round trip  library %.2f us, raw UDP %.2f us, libmodbus TCP %.2f us\n", l, r, m);
    std::printf("  ratios      library/raw %.2f, library/libmodbus %.2f\n", l / r, l / m);
    std::printf(
        "  16 in flight library %.0f req/s (16 threads), raw %.0f req/s (1 thread): "
        "library/raw %.2f\n",
        l16, r16, l16 / r16);
    modbus_close(mb);
    modbus_free(mb);
    close(raw);
    KVS_Clear();
    return 0;
}
