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
    const int kRounds = 11;
    kvs::fw::CLinkFlashDevice flash(h);
    kvs::fw::CFirmwareEngine engine(flash, {});

    // The bare round trips of one backup, made back to back: address, read command, page data
    // for each page, with nothing else around them.
    auto bareTrips = [&]() -> double {
        auto t0 = Clock::now();
        for (int i = 0; i < 512; ++i) {
            int len = 0;
            std::string a = std::to_string(i * 256);
            if (!mKVS_SetAttributeVal(h, manager.c_str(), address.c_str(), a.c_str(), true) ||
                !mKVS_SetAttributeVal(h, manager.c_str(), read.c_str(), "true", true) ||
                !mKVS_GetAttrMemData(h, manager.c_str(), data.c_str(), &len))
                return -1;
        }
        return Seconds(Clock::now() - t0);
    };
    auto engineBackup = [&]() -> double {
        auto t0 = Clock::now();
        if (engine.Backup("/tmp/kvsh_bench.fw").result != kvs::fw::FirmwareResult::Done) return -1;
        return Seconds(Clock::now() - t0);
    };
    // A whole kvsh process, and the same process for one small request: the difference is
    // the backup without kvsh's start-up and the library's connection set-up (which needs the
    // library's UDP port, so the bench's own connection is closed meanwhile).
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

    // Rounds interleave the measurements, so that each ratio compares times taken together.
    std::vector<double> bare, backup, engineRatio;
    for (int round = 0; round < kRounds; ++round) {
        double b = bareTrips(), e = engineBackup();
        if (b < 0 || e < 0) return 1;
        bare.push_back(b);
        backup.push_back(e);
        engineRatio.push_back(e / b);
    }
    const int pages = engine.Geometry().Pages();
    mKVS_Clear(h);
    std::vector<double> process, startup, processRatio;
    if (argc > 1) {
        for (int round = 0; round < kRounds; ++round) {
            h = mKVS_Initial_UDP(127, 0, 0, 1);
            double b = h ? bareTrips() : -1;
            mKVS_Clear(h);
            double p = runKvsh({"firmware", "backup", "/tmp/kvsh_bench.fw"});
            double st = runKvsh({"get", "组件管理器", "运行状态"});
            if (b < 0 || p < 0 || st < 0) return 1;
            process.push_back(p);
            startup.push_back(st);
            processRatio.push_back((p - st) / b);
        }
    }
    unlink("/tmp/kvsh_bench.fw");

    std::printf("pages %d x 3 requests; bare round trip %.1f us (median of %d rounds)\n", pages,
                Median(bare) / (pages * 3) * 1e6, kRounds);
    std::printf("bare round trips of a backup %.1f ms, engine backup %.1f ms\n", Median(bare) * 1e3,
                Median(backup) * 1e3);
    std::sort(engineRatio.begin(), engineRatio.end());
    std::printf("engine backup / bare round trips: median %.3f (min %.3f, max %.3f)\n",
                Median(engineRatio), engineRatio.front(), engineRatio.back());
    if (!process.empty()) {
        std::sort(processRatio.begin(), processRatio.end());
        std::printf(
            "kvsh process: backup %.1f ms, one small request %.1f ms (start-up and "
            "connection)\n",
            Median(process) * 1e3, Median(startup) * 1e3);
        std::printf(
            "kvsh backup less start-up / bare round trips: median %.3f (min %.3f, "
            "max %.3f)\n",
            Median(processRatio), processRatio.front(), processRatio.back());
    }
    return 0;
}
