// Costs of the USB way, each quoted against a baseline measured in the same run:
//   - a request round trip over the simulated USB link (library -> simulated driver -> socket ->
//     simulated controller and back) against the controller answering the same request
//     in-process, which shows what the transport adds;
//   - building and checking the USB frame of a 65536-byte message against copying it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "devsim/device.h"
#include "devsim/usb_controller.h"
#include "frame.h"
#include "gbk.h"
#include "kvsh_usb.h"
#include "msg.h"

namespace {

struct Rig {
    std::string dir;
    std::unique_ptr<devsim::Device> device;
    std::unique_ptr<devsim::UsbController> usb;
    std::unique_ptr<CKVSH_USB> link;
    std::vector<uint8_t> request = std::vector<uint8_t>(512);
    const T_MSG_HEAD* head = nullptr;

    Rig() {
        char tmpl[] = "/tmp/kvs-usb-bench-XXXXXX";
        dir = ::mkdtemp(tmpl);
        device = devsim::Device::CreateDemo();
        usb = std::make_unique<devsim::UsbController>(*device, dir + "/ctl");
        usb->Plug();
        link = std::make_unique<CKVSH_USB>(kvs::usb::MakeSimDriver({dir + "/ctl"}));
        link->SetSettleMs(0);
        link->Open(0);
        kvs::MsgBuilder b(request.data(), request.size(), kvs::kCmdGetVal, 2);
        b.Text(kvs::Utf8ToGbk("定时器").c_str()).Text(kvs::Utf8ToGbk("总资源数").c_str());
        request.resize(b.size());
        head = reinterpret_cast<const T_MSG_HEAD*>(request.data());
    }
    ~Rig() {
        link.reset();
        usb.reset();
        ::rmdir(dir.c_str());
    }
};

Rig& TheRig() {
    static Rig rig;
    return rig;
}

void BM_RequestOverSimulatedUsb(benchmark::State& state) {
    Rig& rig = TheRig();
    for (auto _ : state) {
        const T_MSG_HEAD* r = rig.link->Request(rig.head, true);
        if (!r) state.SkipWithError("no reply");
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_RequestOverSimulatedUsb)->UseRealTime();

void BM_RequestAnsweredInProcess(benchmark::State& state) {
    Rig& rig = TheRig();
    std::vector<uint8_t> reply;
    for (auto _ : state) {
        rig.device->HandleRequest(rig.request.data(), rig.request.size(), &reply);
        benchmark::DoNotOptimize(reply.data());
    }
}
BENCHMARK(BM_RequestAnsweredInProcess);

void BM_UsbFrameBuildAndCheck64K(benchmark::State& state) {
    std::vector<uint8_t> msg(65536, 0x5A), frame(kvs::UsbFrameSize(msg.size()));
    for (auto _ : state) {
        kvs::EncodeUsbFrame(msg.data(), msg.size(), frame.data());
        const uint8_t* m;
        size_t n;
        benchmark::DoNotOptimize(kvs::CheckUsbFrame(frame.data(), frame.size(), &m, &n));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 65536);
}
BENCHMARK(BM_UsbFrameBuildAndCheck64K);

void BM_Copy64K(benchmark::State& state) {
    std::vector<uint8_t> msg(65536, 0x5A), frame(kvs::UsbFrameSize(msg.size()));
    for (auto _ : state) {
        std::memcpy(frame.data() + 12, msg.data(), msg.size());
        benchmark::DoNotOptimize(frame.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 65536);
}
BENCHMARK(BM_Copy64K);

}  // namespace

BENCHMARK_MAIN();
