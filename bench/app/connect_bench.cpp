// Connect-flow timing against a simulated controller holding 200 instances (the simulator's
// resource totals allow 123 components, so link components make up the rest).
//
//   rebuild  - CComponentTree::Rebuild of the 200-instance reply (the work after the reply came)
//   open     - KVS_Initial_UDP alone (it includes the link library's own settle pause)
//   requests - the connect flow's requests alone: tree request and running-state read
//   flow     - CMainFrame::ConnectWith, the whole flow with the tree pane (without the frame's
//              fixed 100 ms pause before the first request, a deliberate wait and not work,
//              and without the diagram view's and the strip's own loads)
//
// Medians of N runs each, interleaved so that all see the same machine; prints flow against
// open + requests, and the flow's share after the open against the requests alone. Uses the
// fixed UDP ports: run it through scripts/netns-run.sh.
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/device/device.h"
#include "app/device/gbk_text.h"
#include "app/main_frame.h"
#include "browser/component_tree.h"
#include "devsim/device.h"
#include "kvsh_user.h"

namespace {
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void Silence(void*, unsigned, uintptr_t, intptr_t) {}
void Ignore(const unsigned char*, int, void*) {}
}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 31;

    auto dev = devsim::Device::CreateEmpty();
    std::vector<std::string> types = dev->ListTypes();
    int made = 0;
    for (int round = 0; made < 200 && round < 256; ++round)
        for (const std::string& t : types)
            if (made < 200 && !dev->AddComponent(t).empty()) ++made;
    std::string error;
    if (made < 200 || !dev->StartUdp("127.0.0.1", 30001, &error)) {
        std::fprintf(stderr, "connect_bench: simulator set-up failed (%d instances) %s\n", made,
                     error.c_str());
        return 1;
    }
    KVSGetKey(dev->Key().c_str());

    CMainFrame frame;
    frame.SetSettleDelay(0);
    // The flow of the frame with its tree pane, as measured from the start: the diagram view's
    // and the strip's loads are theirs to measure.
    frame.AttachView(nullptr);
    frame.AttachStrip(nullptr);
    KVS_RegistInfoPostFunc(&Silence);  // keep the log out of the measurement
    const QByteArray manager = ToGbk(QStringLiteral("组件管理器"));
    const QByteArray state = ToGbk(QStringLiteral("运行状态"));

    LinkParams udp;
    udp.way = 2;
    udp.address = {127, 0, 0, 1};

    std::vector<double> open, requests, flow, rebuild;
    CKvsDevice device;  // the tree's rebuild from a reply at hand makes no request
    CComponentTree tree(device);
    for (int i = 0; i < runs; ++i) {
        auto t0 = Clock::now();
        bool ok = KVS_Initial_UDP(127, 0, 0, 1);
        KVS_RegistRecvCallBack(&Ignore);
        auto t1 = Clock::now();
        const T_MSG_HEAD* reply = KVS_GetComponentTree();
        ok = ok && reply && KVS_GetAttrVal(manager.constData(), state.constData());
        open.push_back(Ms(t1 - t0));
        requests.push_back(Ms(Clock::now() - t1));
        if (!ok) {
            std::fprintf(stderr, "connect_bench: bare requests failed\n");
            return 1;
        }
        std::vector<uint8_t> copy(reinterpret_cast<const uint8_t*>(reply),
                                  reinterpret_cast<const uint8_t*>(reply) + reply->length);
        t0 = Clock::now();
        tree.Rebuild(reinterpret_cast<const T_MSG_HEAD*>(copy.data()));
        rebuild.push_back(Ms(Clock::now() - t0));

        t0 = Clock::now();
        ok = frame.ConnectWith(udp);
        flow.push_back(Ms(Clock::now() - t0));
        if (!ok) {
            std::fprintf(stderr, "connect_bench: connect flow failed\n");
            return 1;
        }
    }
    int listed = int(frame.Tree()->InstanceList().count(QLatin1Char(';')));
    std::printf("instances in the tree      %d\n", listed);
    std::printf("tree rebuild (median)      %.3f ms   goal <= 50 ms\n", Median(rebuild));
    const double o = Median(open), r = Median(requests), f = Median(flow);
    std::printf("open UDP (median)          %.3f ms\n", o);
    std::printf("bare requests (median)     %.3f ms\n", r);
    std::printf("connect flow (median)      %.3f ms\n", f);
    std::printf("flow / (open + requests)   %.2f      goal <= 1.30\n", f / (o + r));
    std::printf("(flow - open) / requests   %.2f      goal <= 1.30\n", (f - o) / r);
    KVS_Clear();
    return 0;
}
