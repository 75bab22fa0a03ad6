// Diagram timing against the simulated controller.
//
//   load     - CKorvessaView::LoadDiagram of the large configuration (120 components, 120
//              links) over loopback UDP
//   bare     - the same requests, in the same order, made directly with the link library
//   repaint  - one full offscreen painting of the whole 1600 x 1200 diagram
//   paced    - connect (open, tree, running state) + LoadDiagram over a pseudo terminal paced
//              at 115200 baud, for the demo and for the large configuration
//
// load and bare are interleaved so that both see the same machine; medians of N runs (the
// repaint also its slowest run). The UDP part uses the fixed ports: run it through
// scripts/netns-run.sh.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/device/device.h"
#include "app/device/gbk_text.h"
#include "devsim/device.h"
#include "diagram/korvessa_view.h"
#include "kvsh_records.h"
#include "kvsh_user.h"

namespace {
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Request {
    int command;
    QByteArray a, b;
};

// The program's device layer, keeping the requests it makes.
class CRecordingDevice : public CKvsDevice {
  public:
    std::vector<Request> made;
    bool record = false;
    void Log(int, const QString&) override {}  // keep the log out of the measurement

  protected:
    DeviceResult<QByteArray> DoRecords(int c, const QString& a, const QString& b) override {
        if (record) made.push_back({c, ToGbk(a), ToGbk(b)});
        return CKvsDevice::DoRecords(c, a, b);
    }
    DeviceResult<QString> DoText(int c, const QString& a, const QString& b) override {
        if (record) made.push_back({c, ToGbk(a), ToGbk(b)});
        return CKvsDevice::DoText(c, a, b);
    }
};

bool Bare(const std::vector<Request>& requests) {
    bool ok = true;
    for (const Request& r : requests) {
        const char *a = r.a.constData(), *b = r.b.constData();
        switch (r.command) {
            case 1:
                ok = KVS_GetComponentTree() && ok;
                break;
            case 12:
                ok = KVS_GetComponentSlotInfo(a) && ok;
                break;
            case 4:
                ok = KVS_GetAttrVal(a, b) && ok;
                break;
            case 5:
                ok = KVS_GetAttrRealVal(a, b) && ok;
                break;
            default:
                std::fprintf(stderr, "diagram_bench: unexpected command %d\n", r.command);
                return false;
        }
    }
    return ok;
}

QString Instances(devsim::Device& dev) {
    QString list;
    for (const std::string& c : dev.ListComponents())
        if (c != "组件管理器") list += QString::fromStdString(c) + ';';
    return list;
}

// The instance list of a component-tree reply, as the tree builds it.
QString InstancesOf(const QByteArray& reply) {
    QString list;
    KVS_RECORD_ITER it;
    KVS_RecordsBegin(&it, reinterpret_cast<const T_MSG_HEAD*>(reply.constData()));
    KVS_RECORD rec;
    while (KVS_RecordsNext(&it, &rec))
        if (rec.kind == KVS_KIND_INSTANCE)
            if (const char* name = KVS_RecordText(&rec, 0)) list += FromGbk(name) + ';';
    return list;
}

void Silence(void*, unsigned, uintptr_t, intptr_t) {}

// Connect + LoadDiagram over a paced pseudo terminal; returns ms and the number of requests.
bool Paced(bool large, int baud, double* ms, size_t* requests, size_t* items) {
    devsim::Options options;
    options.pty_baud = baud;
    auto sim =
        large ? devsim::Device::CreateLargeDemo(options) : devsim::Device::CreateDemo(options);
    std::string error;
    const std::string path = sim->StartPty("", &error);
    if (path.empty()) {
        std::fprintf(stderr, "diagram_bench: no pseudo terminal: %s\n", error.c_str());
        return false;
    }
    CRecordingDevice device;
    device.SetKey(QString::fromStdString(sim->Key()));
    CKorvessaView view(device);
    device.record = true;
    const auto t0 = Clock::now();
    if (!device.OpenSerial(QString::fromStdString(path) +
                           QStringLiteral(":%1-8-1-无校验").arg(baud)))
        return false;
    const DeviceResult<QByteArray> tree = device.ComponentTree();
    view.LoadDiagram(InstancesOf(tree.value));
    const bool ok =
        tree.Ok() &&
        device.GetAttrVal(QStringLiteral("组件管理器"), QStringLiteral("运行状态")).Ok();
    *ms = Ms(Clock::now() - t0);
    *requests = device.made.size();
    *items = view.Items().size();
    device.Close();
    return ok;
}
}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 15;
    KVS_RegistInfoPostFunc(&Silence);

    auto sim = devsim::Device::CreateLargeDemo();
    std::string error;
    if (!sim->StartUdp("127.0.0.1", 30001, &error)) {
        std::fprintf(stderr, "diagram_bench: %s\n", error.c_str());
        return 1;
    }
    CRecordingDevice device;
    device.SetKey(QString::fromStdString(sim->Key()));
    if (!device.OpenUdp({127, 0, 0, 1})) return 1;
    CKorvessaView view(device);
    const QString instances = Instances(*sim);

    device.record = true;
    view.LoadDiagram(instances);
    device.record = false;
    const std::vector<Request> requests = device.made;
    int boxes = 0, links = 0;
    for (const auto& item : view.Items())
        (item->Type() == CBaseTrace::kComponent ? boxes : links)++;

    std::vector<double> load, bare;
    for (int i = 0; i < runs; ++i) {
        auto t0 = Clock::now();
        view.LoadDiagram(instances);
        auto t1 = Clock::now();
        if (!Bare(requests)) {
            std::fprintf(stderr, "diagram_bench: bare requests failed\n");
            return 1;
        }
        auto t2 = Clock::now();
        load.push_back(Ms(t1 - t0));
        bare.push_back(Ms(t2 - t1));
    }

    std::printf("diagram: %d boxes, %d links, %zu requests per LoadDiagram, %d runs\n", boxes,
                links, requests.size(), runs);
    std::printf("load  median %8.2f ms\n", Median(load));
    std::printf("bare  median %8.2f ms\n", Median(bare));
    std::printf("load / bare  %8.3f (goal: at most 1.3)\n", Median(load) / Median(bare));
    device.Close();
    sim.reset();  // the simulator's threads would compete with the painting on the pinned CPU

    QImage image(1600, 1200, QImage::Format_ARGB32_Premultiplied);
    std::vector<double> paint;
    double first = 0;
    for (int i = 0; i <= std::max(runs, 50); ++i) {
        auto t0 = Clock::now();
        QPainter p(&image);
        view.PaintDiagram(p, QRect(0, 0, 1600, 1200));
        p.end();
        // The first painting loads the fonts and lays out every text once.
        (i == 0 ? first : paint.emplace_back()) = Ms(Clock::now() - t0);
    }
    image.save(QStringLiteral("/tmp/kvs-diagram-bench.png"));

    std::printf(
        "repaint median %6.2f ms, slowest %6.2f ms, fastest %6.2f ms, first %6.2f ms (goal: at "
        "most 16 ms)\n",
        Median(paint), *std::max_element(paint.begin(), paint.end()),
        *std::min_element(paint.begin(), paint.end()), first);

    for (bool large : {false, true}) {
        double ms = 0;
        size_t made = 0, items = 0;
        if (!Paced(large, 115200, &ms, &made, &items)) {
            std::fprintf(stderr, "diagram_bench: paced %s failed\n", large ? "large" : "demo");
            return 1;
        }
        std::printf(
            "paced 115200 baud, %s: connect + LoadDiagram %8.1f ms, %zu requests, %zu items\n",
            large ? "120 + 120" : "demo", ms, made, items);
    }
    return 0;
}
