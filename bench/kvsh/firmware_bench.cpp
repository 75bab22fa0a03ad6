// Firmware backup of the default 128 KiB flash over loopback UDP, against the bare request
// round trips it needs: pages x requests per page x measured round trip. Also times a whole
// `kvsh firmware backup` process (start-up, connection and key included).
//
// Run in a private network namespace (the protocol's ports are fixed), pinned:
//   taskset -c 0 scripts/netns-run.sh build/bench/kvsh/kvsh_firmware_bench [path/to/kvsh]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "devsim/device.h"
#include "firmware.h"
#include "gbk.h"
#include "kvsh_user.h"
#include "link_flash_device.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    auto device = devsim::Device::CreateDemo();
    std::string error;
    if (!device->StartUdp("127.0.0.1", 30001, &error)) {
        std::fprintf(stderr, "cannot start the simulated controller: %s\n", error.c_str());
        return 1;
    }
    KVSGetKey("62719405");
    KVS_HANDLE h = mKVS_Initial_UDP(127, 0, 0, 1);
    if (!h) return 1;

    const std::string manager = kvs::Utf8ToGbk(std::string("组件管理器"));
    const std::string address = kvs::Utf8ToGbk(std::string("Flash操作地址"));
    const std::string read = kvs::Utf8ToGbk(std::string("Flash执行读取"));
    const std::string data = kvs::Utf8ToGbk(std::string("Flash操作数据"));
    const int kRounds = 5;

    // The bare round trips of one page, made back to back: address, read command, page data.
    std::vector<double> pageTrip;
    for (int round = 0; round < kRounds; ++round) {
        const int n = 512;
        auto t0 = Clock::now();
        for (int i = 0; i < n; ++i) {
            int len = 0;
            std::string a = std::to_string(i * 256);
            if (!mKVS_SetAttributeVal(h, manager.c_str(), address.c_str(), a.c_str(), true) ||
                !mKVS_SetAttributeVal(h, manager.c_str(), read.c_str(), "true", true) ||
                !mKVS_GetAttrMemData(h, manager.c_str(), data.c_str(), &len))
                return 1;
        }
        pageTrip.push_back(Seconds(Clock::now() - t0) / n / 3);
    }
    // The smallest request there is, for comparison.
    std::vector<double> smallTrip;
    const std::string running = kvs::Utf8ToGbk(std::string("运行状态"));
    for (int round = 0; round < kRounds; ++round) {
        const int n = 1536;
        auto t0 = Clock::now();
        for (int i = 0; i < n; ++i)
            if (!mKVS_GetAttrVal(h, manager.c_str(), running.c_str())) return 1;
        smallTrip.push_back(Seconds(Clock::now() - t0) / n);
    }

    kvs::fw::CLinkFlashDevice flash(h);
    kvs::fw::CFirmwareEngine engine(flash, {});
    std::vector<double> backup;
    for (int round = 0; round < kRounds; ++round) {
        auto t0 = Clock::now();
        if (engine.Backup("/tmp/kvsh_bench.fw").result != kvs::fw::FirmwareResult::Done) return 1;
        backup.push_back(Seconds(Clock::now() - t0));
    }
    const int pages = engine.Geometry().Pages();
    const int perPage = 3;
    mKVS_Clear(h);

    // A whole kvsh process, and the same process for one small request: the difference is
    // the backup without kvsh's start-up and the library's connection set-up.
    auto runKvsh = [&](std::vector<std::string> args) -> double {
        args.insert(args.begin(), {argv[1], "--udp", "127.0.0.1"});
        std::vector<char*> av;
        for (auto& a : args) av.push_back(a.data());
        av.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid;
        auto t0 = Clock::now();
        if (posix_spawn(&pid, argv[1], &fa, nullptr, av.data(), environ) != 0) return -1;
        posix_spawn_file_actions_destroy(&fa);
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
        return Seconds(Clock::now() - t0);
    };
    std::vector<double> process, startup;
    if (argc > 1) {
        for (int round = 0; round < kRounds; ++round) {
            process.push_back(runKvsh({"firmware", "backup", "/tmp/kvsh_bench.fw"}));
            startup.push_back(runKvsh({"get", "组件管理器", "运行状态"}));
            if (process.back() < 0 || startup.back() < 0) return 1;
        }
    }
    unlink("/tmp/kvsh_bench.fw");

    const double trip = Median(pageTrip), small = Median(smallTrip), engineTime = Median(backup);
    const double bare = pages * perPage * trip;
    std::printf("pages %d x %d requests; bare round trip %.1f us (smallest request %.1f us)\n",
                pages, perPage, trip * 1e6, small * 1e6);
    std::printf("bare round trips of a backup: %.1f ms\n", bare * 1e3);
    std::printf("engine backup (median of %d): %.1f ms  ratio %.3f\n", kRounds,
                engineTime * 1e3, engineTime / bare);
    if (!process.empty()) {
        const double p = Median(process), st = Median(startup);
        std::printf("kvsh process: backup %.1f ms, one small request %.1f ms (start-up and "
                    "connection)\n", p * 1e3, st * 1e3);
        std::printf("kvsh backup less start-up: %.1f ms  ratio %.3f\n", (p - st) * 1e3,
                    (p - st) / bare);
    }
    return 0;
}
