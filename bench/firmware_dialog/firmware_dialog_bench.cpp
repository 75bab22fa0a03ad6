// A firmware backup of the default simulated flash (512 pages, 3 requests a page) through the
// firmware dialog, with its worker thread, its queued progress and status updates and its file
// write, against the bare round trips of the same requests over loopback UDP, made back to
// back on one thread. Rounds interleave the two, so that each ratio compares times taken
// together.
//
// Run in a private network namespace (the protocol's ports are fixed), pinned:
//   taskset -c 0 scripts/netns-run.sh build-rel/bench/firmware_dialog/firmware_dialog_bench
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/common/message_service.h"
#include "app/device/gbk_text.h"
#include "devsim/device.h"
#include "kvsh_user.h"
#include "maintenance/firmware_ctrl.h"

namespace {
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Says Yes to the dialog's confirmation.
class CYes : public CMessageService {
  public:
    bool Ask(QWidget*, const QString&) override { return true; }
    void Inform(QWidget*, const QString&) override {}
};
}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    auto device = devsim::Device::CreateDemo();
    std::string error;
    if (!device->StartUdp("127.0.0.1", 30001, &error)) {
        std::fprintf(stderr, "cannot start the simulated controller: %s\n", error.c_str());
        return 1;
    }
    KVSGetKey(device->Key().c_str());
    if (!KVS_Initial_UDP(127, 0, 0, 1)) return 1;
    CYes yes;
    CMessageService::Install(&yes);
    QTemporaryDir dir;
    const QString path = dir.filePath("bench.fw");

    const QByteArray manager = ToGbk(QStringLiteral("组件管理器"));
    const QByteArray geometry = ToGbk(QStringLiteral("Flash描述信息"));
    const QByteArray address = ToGbk(QStringLiteral("Flash操作地址"));
    const QByteArray read = ToGbk(QStringLiteral("Flash执行读取"));
    const QByteArray data = ToGbk(QStringLiteral("Flash操作数据"));
    constexpr int kPages = 512, kPageSize = 256, kRounds = 21;

    // The requests of one backup with nothing around them: the geometry, then address, read
    // command and page data for each page.
    auto bare = [&]() -> double {
        auto t0 = Clock::now();
        if (!KVS_GetAttrVal(manager.constData(), geometry.constData())) return -1;
        for (int i = 0; i < kPages; ++i) {
            int len = 0;
            std::string a = std::to_string(i * kPageSize);
            if (!KVS_SetAttributeVal(manager.constData(), address.constData(), a.c_str(), true) ||
                !KVS_SetAttributeVal(manager.constData(), read.constData(), "true", true) ||
                !KVS_GetAttrMemData(manager.constData(), data.constData(), &len) ||
                len != kPageSize)
                return -1;
        }
        return Seconds(Clock::now() - t0);
    };
    CFirmwareCtrl dialog;
    dialog.BackupPath()->setText(path);
    auto throughDialog = [&]() -> double {
        auto t0 = Clock::now();
        dialog.BackupButton()->click();
        if (!dialog.WaitIdle(60000)) return -1;
        double s = Seconds(Clock::now() - t0);
        return QFileInfo(path).size() == kPages * kPageSize ? s : -1;
    };

    // The part of the dialog's backup that is no request: writing the file beside its name,
    // flushed to disk, and renaming it.
    const std::vector<uint8_t> image(kPages * kPageSize, 0x5A);
    const std::string aside = QFile::encodeName(dir.filePath("aside.fw")).toStdString();
    auto fileWrite = [&]() -> double {
        auto t0 = Clock::now();
        if (!kvs::fw::WriteFileAtomically(aside, image)) return -1;
        return Seconds(Clock::now() - t0);
    };

    std::vector<double> bareTimes, dialogTimes, fileTimes, ratios, requestRatios;
    for (int round = 0; round < kRounds; ++round) {
        double b = bare(), d = throughDialog(), f = fileWrite();
        if (b < 0 || d < 0 || f < 0) {
            std::fprintf(stderr, "round %d failed\n", round);
            return 1;
        }
        bareTimes.push_back(b);
        dialogTimes.push_back(d);
        fileTimes.push_back(f);
        ratios.push_back(d / b);
        requestRatios.push_back((d - f) / b);
    }
    std::sort(ratios.begin(), ratios.end());
    std::sort(requestRatios.begin(), requestRatios.end());
    std::printf("pages %d x 3 requests + 1; bare round trip %.1f us (median of %d rounds)\n",
                kPages, Median(bareTimes) / (kPages * 3 + 1) * 1e6, kRounds);
    std::printf("bare round trips of a backup %.1f ms, backup through the dialog %.1f ms\n",
                Median(bareTimes) * 1e3, Median(dialogTimes) * 1e3);
    std::printf("dialog backup / bare round trips: median %.3f (min %.3f, max %.3f), goal <= 1.2\n",
                Median(ratios), ratios.front(), ratios.back());
    std::printf(
        "of it the file write (flushed, renamed) %.1f ms; without it: median %.3f "
        "(min %.3f, max %.3f)\n",
        Median(fileTimes) * 1e3, Median(requestRatios), requestRatios.front(),
        requestRatios.back());
    CMessageService::Install(nullptr);
    KVS_Clear();
    return 0;
}
