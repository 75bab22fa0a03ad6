// Costs of the simulated controller: CPU per request in-process (no network), the time to get
// the demo configuration ready, and UDP loopback with 16 requests in flight from the link
// library, reporting how busy the simulator's receive thread was meanwhile.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "devsim/device.h"
#include "gbk.h"
#include "kvsh_user.h"
#include "msg.h"

namespace {

std::vector<uint8_t> Request(uint8_t cmd, std::initializer_list<const char*> texts,
                             uint8_t count = 1) {
    std::vector<uint8_t> buf(kvs::kBufferSize);
    kvs::MsgBuilder b(buf.data(), buf.size(), cmd, count);
    for (const char* t : texts) b.Text(kvs::Utf8ToGbk(t).c_str());
    buf.resize(b.size());
    return buf;
}

devsim::Options Quiet() {
    devsim::Options o;
    o.work_thread = false;
    return o;
}

void Handle(benchmark::State& state, const std::vector<uint8_t>& msg) {
    auto d = devsim::Device::CreateDemo(Quiet());
    std::vector<uint8_t> reply;
    reply.reserve(65536);
    for (auto _ : state) {
        d->HandleRequest(msg.data(), msg.size(), &reply);
        benchmark::DoNotOptimize(reply.data());
    }
}

void BM_HandleGetAttrVal(benchmark::State& s) {
    Handle(s, Request(kvs::kCmdGetVal, {"组件管理器", "运行状态"}));
}
void BM_HandleSetAttrVal(benchmark::State& s) {
    Handle(s, Request(kvs::kCmdSetVal, {"定时器-5", "定时周期_ms", "100"}));
}
void BM_HandleSlotInfo(benchmark::State& s) { Handle(s, Request(kvs::kCmdSlotInfo, {"计数器-1"})); }
void BM_HandleBatchGet(benchmark::State& s) {
    Handle(s, Request(kvs::kCmdGetBatch, {"定时器-5.启用定时器;信号发生器-2.启动频率_KHz;"}));
}
void BM_HandleTree(benchmark::State& s) { Handle(s, Request(kvs::kCmdTree, {}, 0)); }
BENCHMARK(BM_HandleGetAttrVal);
BENCHMARK(BM_HandleSetAttrVal);
BENCHMARK(BM_HandleSlotInfo);
BENCHMARK(BM_HandleBatchGet);
BENCHMARK(BM_HandleTree);

void BM_DemoReady(benchmark::State& state) {
    for (auto _ : state) {
        auto d = devsim::Device::CreateDemo(Quiet());
        benchmark::DoNotOptimize(d.get());
    }
}
BENCHMARK(BM_DemoReady)->Unit(benchmark::kMillisecond);

// CPU seconds spent so far by this process's thread named name.
double ThreadCpu(const char* name) {
    DIR* dir = opendir("/proc/self/task");
    if (!dir) return 0;
    double total = 0;
    while (dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        std::string base = std::string("/proc/self/task/") + e->d_name;
        std::ifstream comm(base + "/comm");
        std::string n;
        std::getline(comm, n);
        if (n != name) continue;
        std::ifstream stat(base + "/stat");
        std::string line;
        std::getline(stat, line);
        // Fields after the ")" of the name: state is field 3, utime 14, stime 15.
        size_t p = line.rfind(')');
        unsigned long utime = 0, stime = 0;
        std::sscanf(line.c_str() + p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu",
                    &utime, &stime);
        total += static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    closedir(dir);
    return total;
}

std::unique_ptr<devsim::Device> g_udp_device;

void BM_UdpLoopback16InFlight(benchmark::State& state) {
    if (state.thread_index() == 0) {
        g_udp_device = devsim::Device::CreateDemo();
        std::string error;
        if (!g_udp_device->StartUdp("127.0.0.1", 30001, &error)) state.SkipWithError(error.c_str());
        KVSGetKey("62719405");
        if (!KVS_Initial_UDP(127, 0, 0, 1)) state.SkipWithError("KVS_Initial_UDP failed");
    }
    static double cpu0;
    static std::chrono::steady_clock::time_point t0;
    const std::string c = kvs::Utf8ToGbk("组件管理器"), a = kvs::Utf8ToGbk("运行状态");
    if (state.thread_index() == 0) {
        cpu0 = ThreadCpu("devsim-udp");
        t0 = std::chrono::steady_clock::now();
    }
    int64_t failed = 0;
    for (auto _ : state) {
        if (!KVS_GetAttrVal(c.c_str(), a.c_str())) ++failed;
    }
    state.counters["failed"] =
        benchmark::Counter(static_cast<double>(failed), benchmark::Counter::kAvgThreads);
    state.counters["req_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    if (state.thread_index() == 0) {
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        // The share of one CPU the simulator's receive thread used: far below 1 means it is not
        // the bottleneck.
        state.counters["sim_busy"] = (ThreadCpu("devsim-udp") - cpu0) / wall;
        KVS_Clear();
        g_udp_device.reset();
    }
}
BENCHMARK(BM_UdpLoopback16InFlight)->Threads(16)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
