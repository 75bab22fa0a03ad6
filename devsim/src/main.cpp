// kvs-devsim: the simulated controller as a program. Answers on UDP (127.0.0.1:30001 unless
// told otherwise) and optionally on a pseudo terminal until SIGINT or SIGTERM.
#include <getopt.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>

#include "devsim/device.h"
#include "devsim/usb_controller.h"

namespace {

void Usage(FILE* out) {
    std::fprintf(out,
                 "usage: kvs-devsim [options]\n"
                 "  --udp ADDR:PORT     answer UDP on ADDR:PORT (default 127.0.0.1:30001)\n"
                 "  --no-udp            no UDP\n"
                 "  --pty               answer on a pseudo terminal (prints its path)\n"
                 "  --pty-link PATH     keep a symbolic link to the pseudo terminal at PATH "
                 "(implies --pty)\n"
                 "  --baud N            the pseudo terminal sends and reads at N baud, ten bits\n"
                 "                      per byte (default: unpaced)\n"
                 "  --usb PATH          plug in as a simulated USB controller at socket PATH\n"
                 "                      (hosts reach it with KVSH_USB_SIM=PATH)\n"
                 "  --load FILE         start with the configuration of a .kvs file\n"
                 "  --demo              start with the demo configuration (default)\n"
                 "  --demo-large        start with 120 components and 120 links\n"
                 "  --empty             start with an empty configuration\n"
                 "  --key KEY           the access key (default 62719405)\n"
                 "  --flash GEOMETRY    flash geometry (default P=100,C=20000,B=1000,N=20,)\n"
                 "  --faults LIST       e.g. "
                 "drop=0.2,delay=300,dup=0.1,corrupt=0.1,junk=0.1,malformed=0.1,silent\n"
                 "  --seed N            seed of the fault dice (default 1)\n"
                 "  --tick MS           work loop period in milliseconds (default 10)\n"
                 "  --run               start the work loop at once\n"
                 "  -v, --verbose       log every request and reply\n"
                 "  -h, --help          this text\n");
}

}  // namespace

int main(int argc, char** argv) {
    enum {
        kUdp = 256,
        kNoUdp,
        kPty,
        kPtyLink,
        kLoad,
        kDemo,
        kDemoLarge,
        kEmpty,
        kKey,
        kFlash,
        kFaults,
        kSeed,
        kTick,
        kRun,
        kUsb,
        kBaud
    };
    static const option kLong[] = {
        {"udp", required_argument, nullptr, kUdp},
        {"no-udp", no_argument, nullptr, kNoUdp},
        {"pty", no_argument, nullptr, kPty},
        {"pty-link", required_argument, nullptr, kPtyLink},
        {"load", required_argument, nullptr, kLoad},
        {"demo", no_argument, nullptr, kDemo},
        {"demo-large", no_argument, nullptr, kDemoLarge},
        {"empty", no_argument, nullptr, kEmpty},
        {"key", required_argument, nullptr, kKey},
        {"flash", required_argument, nullptr, kFlash},
        {"faults", required_argument, nullptr, kFaults},
        {"seed", required_argument, nullptr, kSeed},
        {"tick", required_argument, nullptr, kTick},
        {"run", no_argument, nullptr, kRun},
        {"verbose", no_argument, nullptr, 'v'},
        {"help", no_argument, nullptr, 'h'},
        {"usb", required_argument, nullptr, kUsb},
        {"baud", required_argument, nullptr, kBaud},
        {nullptr, 0, nullptr, 0},
    };
    std::string udp = "127.0.0.1:30001", load, pty_link, fault_text, usb_path;
    bool use_udp = true, use_pty = false, empty = false, large = false, verbose = false,
         run = false;
    devsim::Options options;
    int c;
    while ((c = getopt_long(argc, argv, "vh", kLong, nullptr)) != -1) {
        switch (c) {
            case kUdp:
                udp = optarg;
                break;
            case kNoUdp:
                use_udp = false;
                break;
            case kPty:
                use_pty = true;
                break;
            case kPtyLink:
                use_pty = true;
                pty_link = optarg;
                break;
            case kLoad:
                load = optarg;
                break;
            case kDemo:
                empty = large = false;
                break;
            case kDemoLarge:
                empty = false;
                large = true;
                break;
            case kEmpty:
                empty = true;
                large = false;
                break;
            case kKey:
                options.key = optarg;
                // The startup parameters keep the key in 8 characters.
                if (options.key.empty() || options.key.size() > 8) {
                    std::fprintf(stderr, "kvs-devsim: the key has 1 to 8 characters\n");
                    return 2;
                }
                break;
            case kFlash:
                options.flash_geometry = optarg;
                break;
            case kFaults:
                fault_text = optarg;
                break;
            case kSeed:
                options.random_seed = std::strtoull(optarg, nullptr, 10);
                break;
            case kTick:
                options.tick_ms = std::max(1, std::atoi(optarg));
                break;
            case kRun:
                run = true;
                break;
            case kUsb:
                usb_path = optarg;
                break;
            case kBaud: {
                char* end = nullptr;
                long baud = std::strtol(optarg, &end, 10);
                if (*optarg == '\0' || *end != '\0' || baud < 1 || baud > 100000000) {
                    std::fprintf(stderr, "kvs-devsim: --baud wants a rate in baud, got %s\n",
                                 optarg);
                    return 2;
                }
                options.pty_baud = static_cast<int>(baud);
                break;
            }
            case 'v':
                verbose = true;
                break;
            case 'h':
                Usage(stdout);
                return 0;
            default:
                Usage(stderr);
                return 2;
        }
    }
    if (optind < argc) {
        Usage(stderr);
        return 2;
    }
    devsim::Faults faults;
    std::string error;
    if (!fault_text.empty() && !devsim::Faults::Parse(fault_text, &faults, &error)) {
        std::fprintf(stderr, "kvs-devsim: %s\n", error.c_str());
        return 2;
    }
    size_t colon = udp.rfind(':');
    int port = colon == std::string::npos ? -1 : std::atoi(udp.c_str() + colon + 1);
    if (use_udp && (colon == std::string::npos || port < 0 || port > 65535)) {
        std::fprintf(stderr, "kvs-devsim: --udp wants ADDR:PORT, got %s\n", udp.c_str());
        return 2;
    }

    // Signals are taken by sigwait below; block them before any thread starts.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);

    std::unique_ptr<devsim::Device> device;
    if (!load.empty()) {
        std::ifstream f(load, std::ios::binary);
        if (!f) {
            std::fprintf(stderr, "kvs-devsim: cannot read %s\n", load.c_str());
            return 1;
        }
        std::stringstream ss;
        ss << f.rdbuf();
        device = devsim::Device::CreateFromText(ss.str(), options, &error);
        if (!device) {
            std::fprintf(stderr, "kvs-devsim: %s: %s\n", load.c_str(), error.c_str());
            return 1;
        }
    } else {
        device = empty   ? devsim::Device::CreateEmpty(options)
                 : large ? devsim::Device::CreateLargeDemo(options)
                         : devsim::Device::CreateDemo(options);
    }
    static std::mutex out_mu;
    if (verbose)
        device->SetLog([](const std::string& line) {
            std::lock_guard<std::mutex> lock(out_mu);
            std::fprintf(stderr, "kvs-devsim: %s\n", line.c_str());
        });
    device->SetFaults(faults);
    if (use_udp) {
        if (!device->StartUdp(udp.substr(0, colon), static_cast<uint16_t>(port), &error)) {
            std::fprintf(stderr, "kvs-devsim: %s\n", error.c_str());
            return 1;
        }
        std::printf("udp %s:%u\n", udp.substr(0, colon).c_str(), device->UdpPort());
    }
    if (use_pty) {
        std::string path = device->StartPty(pty_link, &error);
        if (path.empty()) {
            std::fprintf(stderr, "kvs-devsim: %s\n", error.c_str());
            return 1;
        }
        std::printf("pty %s\n", path.c_str());
        if (!pty_link.empty()) std::printf("link %s\n", pty_link.c_str());
    }
    std::unique_ptr<devsim::UsbController> usb;
    if (!usb_path.empty()) {
        usb = std::make_unique<devsim::UsbController>(*device, usb_path);
        if (!usb->Plug(&error)) {
            std::fprintf(stderr, "kvs-devsim: %s\n", error.c_str());
            return 1;
        }
        std::printf("usb %s\n", usb_path.c_str());
    }
    if (run) device->SetValue("组件管理器", "运行状态", "true");
    std::fflush(stdout);
    int sig = 0;
    sigwait(&set, &sig);
    usb.reset();
    device->Stop();
    std::fprintf(stderr, "kvs-devsim: stopped (%s)\n", sig == SIGINT ? "SIGINT" : "SIGTERM");
    return 0;
}
