// Painting the whole wave view at its smallest zoom, 2048 samples x 4 channels, offscreen:
// median and slowest of a number of paints, for a record that changes level at nearly every
// sample (the most lines) and for a square wave like the demo timer's.
//
//     QT_QPA_PLATFORM=offscreen taskset -c 1 analyzer_paint_bench [paints]
#include <QApplication>
#include <QImage>
#include <QRandomGenerator>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "analyzer/wave_view.h"

namespace {
constexpr double kGoalMs = 4.0;

struct Figures {
    double median, p99, slowest;
    double cpuSlowest;  // the slowest paint in this thread's CPU time: without preemption
};

double CpuMs() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

template <class F>
Figures Time(int runs, F&& paint) {
    std::vector<double> ms;
    double cpu = 0;
    paint();  // warm-up: fonts, glyph cache
    for (int i = 0; i < runs; ++i) {
        const double c0 = CpuMs();
        auto t0 = std::chrono::steady_clock::now();
        paint();
        auto t1 = std::chrono::steady_clock::now();
        cpu = std::max(cpu, CpuMs() - c0);
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[ms.size() * 99 / 100], ms.back(), cpu};
}

QByteArray Noise() {
    QByteArray b(wave::kCapacityBytes, '\0');
    QRandomGenerator rng(7);
    for (char& c : b) c = char(rng.bounded(256));
    return b;
}

QByteArray Square(int half) {
    QByteArray b(wave::kCapacityBytes, '\0');
    for (int s = 0; s < wave::kCapacity; ++s)
        if ((s / half) % 2)
            for (int k = 0; k < wave::kChannels; ++k) {
                const int bit = s * wave::kChannels + k;
                b[bit / 8] = char(uint8_t(b[bit / 8]) | (1u << (bit % 8)));
            }
    return b;
}
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 200;

    QWidget parent;
    parent.resize(1124, 260);
    CWaveViewWnd view;
    // 1024 pixels wide: the smallest zoom is half a pixel per sample, all 2048 samples in view.
    view.CreateView(&parent, QRect(100, 40, 1024, 216));
    parent.show();
    for (int i = 0; i < 10; ++i) view.ZoomOut();
    std::printf("view %dx%d, zoom %g pixels per sample, %d samples x %d channels, %d paints\n",
                view.ClientWidth(), view.ClientHeight(), view.Zoom(), view.Samples(),
                view.Channels(), runs);

    struct Record {
        const char* name;
        QByteArray bits;
    } records[] = {{"random levels (an edge at ~every sample)", Noise()},
                   {"square wave, 20 samples high / 20 low", Square(20)}};
    std::printf("%-42s %-20s %9s %9s %9s %9s %8s %8s\n", "record", "paint", "median", "p99",
                "slowest", "cpu max", "med/goal", "cpu/goal");
    for (const Record& r : records) {
        view.SetRecord(r.bits, wave::kCapacity, 256, 500);
        view.SetCursorX(300);
        // The paint event into a ready image (what the window's backing store gets), and
        // Render(), which makes its own image (the PNG export).
        QImage target(view.size(), QImage::Format_RGB32);
        // (the scroll bar is a child widget of its own, repainted only when it changes)
        const Figures widget = Time(runs, [&] {
            view.render(&target, QPoint(), QRegion(), QWidget::DrawWindowBackground);
        });
        QImage image;
        const Figures render = Time(runs, [&] { image = view.Render(); });
        for (auto [what, f] : {std::pair{"paint event", widget}, {"Render() (new image)", render}})
            std::printf("%-42s %-20s %9.3f %9.3f %9.3f %9.3f %8.2f %8.2f\n",
                        what == std::string("paint event") ? r.name : "", what, f.median, f.p99,
                        f.slowest, f.cpuSlowest, f.median / kGoalMs, f.cpuSlowest / kGoalMs);
    }
    std::printf(
        "milliseconds of wall time (cpu max: the slowest in thread CPU time); goal: at "
        "most %.1f ms\n",
        kGoalMs);
    return 0;
}
