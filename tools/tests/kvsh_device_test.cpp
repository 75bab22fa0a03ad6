// kvsh as a separate process against the simulated controller, over UDP (in the test's private
// network namespace), over a pseudo terminal and through the simulated USB driver.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <json/json.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include "devsim/device.h"
#include "devsim/usb_controller.h"
#include "firmware.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Result {
    int code = -1;
    std::string out, err;
    Json::Value Json() const {
        Json::Value v;
        Json::CharReaderBuilder b;
        std::string errs;
        std::unique_ptr<Json::CharReader> r(b.newCharReader());
        if (!r->parse(out.data(), out.data() + out.size(), &v, &errs))
            ADD_FAILURE() << "not JSON: " << errs << "\n" << out;
        return v;
    }
};

// Called after each piece of output with kvsh's pid and what it printed so far.
using Watcher = std::function<void(pid_t, const Result&)>;

// Runs kvsh with args and waits for it to end.
Result RunKvsh(const std::vector<std::string>& args, const Watcher& watch = {}) {
    int outPipe[2], errPipe[2];
    EXPECT_EQ(pipe2(outPipe, O_CLOEXEC), 0);
    EXPECT_EQ(pipe2(errPipe, O_CLOEXEC), 0);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&fa, errPipe[1], 2);
    std::vector<std::string> all = {KVSH_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, KVSH_PATH, &fa, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&fa);
    close(outPipe[1]);
    close(errPipe[1]);
    Result r;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buf[4096];
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
                continue;
            }
            (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
        }
        if (watch) watch(pid, r);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

enum class Link { Udp, Serial, Usb };

class KvshDeviceTest : public ::testing::TestWithParam<Link> {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("kvsh_dev_" + std::to_string(getpid()));
        fs::create_directories(dir);
        device = devsim::Device::CreateDemo();
        std::string error;
        if (GetParam() == Link::Udp) {
            ASSERT_TRUE(device->StartUdp("127.0.0.1", 30001, &error)) << error;
            link = {"--udp", "127.0.0.1"};
        } else if (GetParam() == Link::Serial) {
            std::string path = device->StartPty("", &error);
            ASSERT_FALSE(path.empty()) << error;
            link = {"--serial", path};
        } else {
            // kvsh inherits the variable that points the library at the simulated controller.
            usb = std::make_unique<devsim::UsbController>(*device, (dir / "usb.sock").string());
            ASSERT_TRUE(usb->Plug(&error)) << error;
            setenv("KVSH_USB_SIM", usb->Path().c_str(), 1);
            link = {"--usb", "0"};
        }
    }
    void TearDown() override {
        usb.reset();
        unsetenv("KVSH_USB_SIM");
        device->Stop();
        fs::remove_all(dir);
    }

    Result Kvsh(std::vector<std::string> args, const Watcher& watch = {}) {
        args.insert(args.begin(), link.begin(), link.end());
        args.insert(args.begin(), {"--timeout", "5"});
        return RunKvsh(args, watch);
    }

    // A watcher that sends one SIGINT at the second status line of a phase, the first that
    // comes while pages are being moved.
    static Watcher InterruptOnSecondStatus(const std::string& phase) {
        auto sent = std::make_shared<bool>(false);
        return [phase, sent](pid_t pid, const Result& r) {
            size_t first = r.err.find(phase);
            if (!*sent && first != std::string::npos &&
                r.err.find(phase, first + 1) != std::string::npos) {
                kill(pid, SIGINT);
                *sent = true;
            }
        };
    }

    std::string Value(const std::string& comp, const std::string& attr) {
        std::string v;
        EXPECT_TRUE(device->GetValue(comp, attr, &v)) << comp << "." << attr;
        return v;
    }

    fs::path dir;
    std::unique_ptr<devsim::Device> device;
    std::unique_ptr<devsim::UsbController> usb;
    std::vector<std::string> link;
};

TEST_P(KvshDeviceTest, ReadsTheTreeAttributesAndValues) {
    Result tree = Kvsh({"--json", "tree"});
    ASSERT_EQ(tree.code, 0) << tree.err;
    bool timerFound = false;
    const Json::Value types = tree.Json()["types"];
    for (const Json::Value& t : types)
        if (t["name"].asString() == "定时器") {
            ASSERT_FALSE(t["instances"].empty());
            timerFound = t["instances"][0]["name"].asString().rfind("定时器-", 0) == 0;
        }
    EXPECT_TRUE(timerFound) << tree.out;

    Result attrs = Kvsh({"--json", "attrs", "组件管理器"});
    ASSERT_EQ(attrs.code, 0) << attrs.err;
    Json::Value a = attrs.Json();
    EXPECT_EQ(a["component"].asString(), "组件管理器");
    bool running = false, geometry = false;
    for (const Json::Value& x : a["attributes"]) {
        if (x["name"].asString() == "运行状态") running = x["type-name"].asString() == "bool";
        if (x["name"].asString() == "Flash描述信息") geometry = x["read-only"].asBool();
    }
    EXPECT_TRUE(running && geometry) << attrs.out;

    // -v adds the library's own log lines on stderr; stdout carries the value alone.
    Result one = Kvsh({"-v", "get", "组件管理器", "Flash描述信息"});
    EXPECT_NE(one.err.find("初始化成功."), std::string::npos) << one.err;
    EXPECT_EQ(one.code, 0) << one.err;
    EXPECT_EQ(one.out, "P=100,C=20000,B=1000,N=20,\n");
    Result batch = Kvsh({"--json", "get", "组件管理器", "运行状态", "Flash描述信息"});
    ASSERT_EQ(batch.code, 0) << batch.err;
    EXPECT_EQ(batch.Json()["values"]["运行状态"].asString(), Value("组件管理器", "运行状态"));
    EXPECT_EQ(batch.Json()["values"]["Flash描述信息"].asString(), "P=100,C=20000,B=1000,N=20,");
}

TEST_P(KvshDeviceTest, ChangesTheConfiguration) {
    Result add = Kvsh({"--json", "add", "定时器"});
    ASSERT_EQ(add.code, 0) << add.err;
    const std::string timer = add.Json()["name"].asString();
    ASSERT_EQ(timer.rfind("定时器-", 0), 0u) << add.out;

    EXPECT_EQ(Kvsh({"set", timer, "定时周期_ms", "250"}).code, 0);
    EXPECT_EQ(Value(timer, "定时周期_ms"), "250");
    Result batch = Kvsh({"set", timer, "定时周期_ms", "300", "占空比_百分比", "20"});
    EXPECT_EQ(batch.code, 0) << batch.err;
    EXPECT_EQ(Value(timer, "定时周期_ms"), "300");
    EXPECT_EQ(Value(timer, "占空比_百分比"), "20");
    EXPECT_EQ(Kvsh({"set", timer, "定时周期_ms", "300", "占空比_百分比"}).code, 2);

    // Link a receive slot of the new timer to a send slot, then remove the link again.
    Result gate = Kvsh({"add", "与门"});
    ASSERT_EQ(gate.code, 0) << gate.err;
    const std::string andGate = gate.out.substr(0, gate.out.find('\n'));
    std::string in, out;
    for (const devsim::AttrInfo& x : device->Attributes(andGate))
        if (x.role == 1 && in.empty()) in = x.name;
    for (const devsim::AttrInfo& x : device->Attributes("开关-1"))
        if (x.role == 3 && out.empty()) out = x.name;
    ASSERT_FALSE(in.empty());
    ASSERT_FALSE(out.empty());
    Result linked = Kvsh({"link", andGate + ":" + in, "开关-1:" + out});
    EXPECT_EQ(linked.code, 0) << linked.err;
    EXPECT_EQ(device->GetLink(andGate, in), "开关-1:" + out);
    EXPECT_EQ(Kvsh({"unlink", andGate + ":" + in}).code, 0);
    EXPECT_EQ(device->GetLink(andGate, in), "");

    EXPECT_EQ(Kvsh({"run"}).code, 0);
    EXPECT_TRUE(device->Running());
    EXPECT_EQ(Kvsh({"stop"}).code, 0);
    EXPECT_FALSE(device->Running());
    EXPECT_EQ(Kvsh({"flash", "save", "2"}).code, 0);

    EXPECT_EQ(Kvsh({"del", timer}).code, 0);
    auto list = device->ListComponents();
    EXPECT_EQ(std::find(list.begin(), list.end(), timer), list.end());
}

TEST_P(KvshDeviceTest, UploadAndDownloadReproduceTheConfiguration) {
    const fs::path file = dir / "project.kvs";
    const std::string before = device->ExportConfig();
    Result up = Kvsh({"upload", file.string()});
    ASSERT_EQ(up.code, 0) << up.err;
    EXPECT_EQ(up.out, "");
    const std::string saved = ReadFile(file);
    EXPECT_NE(saved.find('\xD7'), std::string::npos) << "the file keeps the controller's GBK";

    ASSERT_EQ(Kvsh({"add", "计数器"}).code, 0);
    ASSERT_NE(device->ExportConfig(), before);
    Result down = Kvsh({"download", file.string()});
    ASSERT_EQ(down.code, 0) << down.err;
    EXPECT_EQ(device->ExportConfig(), before);

    // Standard output carries UTF-8, and that text downloads as well.
    Result text = Kvsh({"upload"});
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_EQ(text.out.substr(0, text.out.size() - (text.out.back() == '\n')),
              before.substr(0, before.size() - (before.back() == '\n')));
    std::ofstream(dir / "utf8.kvs") << text.out;
    ASSERT_EQ(Kvsh({"add", "计数器"}).code, 0);
    EXPECT_EQ(Kvsh({"download", (dir / "utf8.kvs").string()}).code, 0);
    EXPECT_EQ(device->ExportConfig(), before);
}

TEST_P(KvshDeviceTest, ShowsAndChangesTheStartupSettings) {
    Result show = Kvsh({"settings", "show"});
    ASSERT_EQ(show.code, 0) << show.err;
    EXPECT_NE(show.out.find("通讯设备选择："), std::string::npos);
    EXPECT_NE(show.out.find("秘钥：62719405"), std::string::npos);

    Result set = Kvsh({"settings", "set", "modbus-port=1502", "parity=even", "slot=3"});
    ASSERT_EQ(set.code, 0) << set.err;
    EXPECT_NE(set.err.find("KVS启动参数改变，重启动后该参数生效!"), std::string::npos);
    Json::Value after = Kvsh({"--json", "settings", "show"}).Json();
    EXPECT_EQ(after["modbus-port"].asInt(), 1502);
    EXPECT_EQ(after["parity"].asString(), "even");
    EXPECT_EQ(after["slot"].asInt(), 3);
    EXPECT_EQ(after["key"].asString(), "62719405");

    Result bad = Kvsh({"settings", "set", "key=123"});
    EXPECT_EQ(bad.code, 2);
    EXPECT_NE(bad.err.find("秘钥修改失败，秘钥必须为8位！！"), std::string::npos);
}

TEST_P(KvshDeviceTest, FailuresGiveTheirExitStatusAndOneClearLine) {
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string message;
    };
    const std::vector<Case> cases = {
        // UDP and serial frames carry the key in their checksum, so the controller stays
        // silent; over USB it answers and refuses the key command.
        {{"--key", "11111111", "--timeout", "1", "tree"}, 3, "the key"},
        {{"set", "组件管理器", "Flash描述信息", "x"}, 1, "refused by the controller"},
        {{"get", "没有的组件-9", "值"}, 1, "refused by the controller"},
        {{"attrs"}, 2, "usage: kvsh"},
        {{"flash", "save", "6"}, 2, "0-5"},
        {{"frobnicate"}, 2, "no command"},
        {{"download", (dir / "missing.kvs").string()}, 2, "cannot read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
        Result r = Kvsh(c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.err.rfind("kvsh: ", 0), 0u) << r.err;
    }
}

// Bad input files, names too long for one request, invalid text and targets that must not be
// replaced: each is refused with its real cause, before the controller is bothered where it
// can be.
TEST_P(KvshDeviceTest, BadInputIsRefusedWithItsRealCause) {
    std::ofstream(dir / "empty.kvs").flush();
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    const std::string longName(70000, 'n');
    const std::string longSlot = std::string(200, 's') + ":x";
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"download", dir.string()}, 2, "a directory"},
        {{"download", "/dev/zero"}, 2, "a device"},
        {{"download", (dir / "fifo").string()}, 2, "a FIFO"},
        {{"download", (dir / "empty.kvs").string()}, 1, "refused by the controller"},
        {{"get", longName, "a"}, 2, "one request holds at most 65535"},
        {{"link", longSlot, "定时器-5:输出"}, 1, "refused by the controller"},
        {{"set", "定时器-5", "用户注释", "\xff\xfe"}, 2, "not valid UTF-8"},
        {{"upload", (dir / "fifo").string()}, 2, "a FIFO"},
        {{"upload", "/dev/null"}, 2, "a device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1].substr(0, 40));
        Result r = Kvsh(c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_EQ(fs::status(dir / "fifo").type(), fs::file_type::fifo);
    EXPECT_EQ(fs::status("/dev/null").type(), fs::file_type::character);
    std::string comment;
    ASSERT_TRUE(device->GetValue("定时器-5", "用户注释", &comment));
    EXPECT_EQ(comment.find('?'), std::string::npos) << comment;

    // An upload through a symbolic link replaces the link's target and keeps the link.
    std::ofstream(dir / "target.kvs") << "old";
    fs::create_symlink(dir / "target.kvs", dir / "link.kvs");
    Result up = Kvsh({"upload", (dir / "link.kvs").string()});
    EXPECT_EQ(up.code, 0) << up.err;
    EXPECT_TRUE(fs::is_symlink(dir / "link.kvs"));
    const std::string uploaded = ReadFile(dir / "target.kvs");
    EXPECT_NE(uploaded, "old");
    EXPECT_GT(uploaded.size(), 100u) << "the configuration as uploaded (GBK)";
}

// A backup never replaces what is not a regular file, and reports why.
TEST_P(KvshDeviceTest, FirmwareBackupRefusesATargetThatIsNotARegularFile) {
    if (GetParam() != Link::Udp) GTEST_SKIP() << "independent of the link";
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    Result r = Kvsh({"firmware", "backup", (dir / "fifo").string()});
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_NE(r.err.find("a FIFO"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("备份成功"), std::string::npos) << r.err;
    EXPECT_EQ(fs::status(dir / "fifo").type(), fs::file_type::fifo);
}

// A reply that does not parse is named as such, not as a refusal of the key.
TEST_P(KvshDeviceTest, MalformedAnswersAreNamedAsSuch) {
    devsim::Faults f;
    f.malformed = 1.0;
    device->SetFaults(f);
    Result r = Kvsh({"--timeout", "2", "tree"});
    EXPECT_EQ(r.code, 3) << r.err;
    EXPECT_NE(r.err.find("malformed answer"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("refused the key"), std::string::npos) << r.err;
}

// Addresses that no single controller has are refused before anything is opened.
TEST(KvshLink, BroadcastAndMulticastAddressesAreRefused) {
    for (const char* address : {"255.255.255.255", "224.0.0.1", "0.0.0.0"}) {
        Result r = RunKvsh({"--udp", address, "tree"});
        EXPECT_EQ(r.code, 2) << r.err;
        EXPECT_NE(r.err.find("not the address of one controller"), std::string::npos) << r.err;
    }
}

TEST_P(KvshDeviceTest, SilentControllerEndsWithinTheTimeout) {
    devsim::Faults silent;
    silent.silent = true;
    device->SetFaults(silent);
    Result r = Kvsh({"--timeout", "0.5", "tree"});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("no answer from the controller"), std::string::npos) << r.err;
}

TEST_P(KvshDeviceTest, FirmwareBackupUpgradeAndVerify) {
    const fs::path a = dir / "a.fw", b = dir / "b.fw";
    Result backup = Kvsh({"--json", "firmware", "backup", a.string()});
    ASSERT_EQ(backup.code, 0) << backup.err;
    EXPECT_EQ(backup.Json()["pages"].asInt(), 512);
    std::string image = ReadFile(a);
    ASSERT_EQ(image.size(), 131072u);

    // Program a changed image; the upgrade verifies it, and a new backup returns it.
    for (size_t i = 0; i < image.size(); i += 997) image[i] = static_cast<char>(i * 7);
    std::ofstream(a, std::ios::binary).write(image.data(), std::streamsize(image.size()));
    Result upgrade = Kvsh({"--json", "firmware", "upgrade", a.string()});
    ASSERT_EQ(upgrade.code, 0) << upgrade.err;
    EXPECT_EQ(upgrade.Json()["status"].asString(), "升级成功.");
    ASSERT_EQ(Kvsh({"firmware", "backup", b.string()}).code, 0);
    EXPECT_EQ(ReadFile(b), image);

    // A file of the wrong length is refused before anything is written.
    std::ofstream(dir / "short.fw", std::ios::binary) << "abc";
    Result shortFile = Kvsh({"firmware", "upgrade", (dir / "short.fw").string()});
    EXPECT_EQ(shortFile.code, 2);
    EXPECT_NE(shortFile.err.find("文件长度不匹配!"), std::string::npos) << shortFile.err;
}

// Ctrl-C stops a firmware operation at its next status update; a stopped backup leaves the
// earlier file as it was.
TEST_P(KvshDeviceTest, CtrlCStopsFirmwareOperationsCleanly) {
    // The stop is the same whatever the link; the one-second status tick makes this slow.
    if (GetParam() != Link::Udp) GTEST_SKIP() << "covered over UDP";
    const fs::path a = dir / "keep.fw";
    ASSERT_EQ(Kvsh({"firmware", "backup", a.string()}).code, 0);
    const std::string before = ReadFile(a);
    devsim::Faults slow;
    slow.delay_ms = 4;  // a backup now takes several seconds
    device->SetFaults(slow);
    for (const char* op : {"backup", "upgrade"}) {
        SCOPED_TRACE(op);
        // The first status line with a page count comes a second into the transfer.
        Result r =
            Kvsh({"firmware", op, a.string()},
                 InterruptOnSecondStatus(std::string(op) == "backup" ? "正在备份:" : "正在升级:"));
        EXPECT_EQ(r.code, 130) << r.err;
        EXPECT_NE(r.err.find("用户停止."), std::string::npos) << r.err;
        EXPECT_EQ(ReadFile(a), before);
    }
}

TEST_P(KvshDeviceTest, MonitorPrintsEventsAndInformationLinesUntilCtrlC) {
    ASSERT_TRUE(device->SetValue("组件管理器", "属性监控表", "开关-1.开关状态@change;"));
    const std::string flipped = Value("开关-1", "开关状态") == "true" ? "false" : "true";
    bool changed = false, stopped = false;
    // Once kvsh listens, change the watched value and start the work loop (which the
    // controller announces with an information line); two lines end the run.
    Result r = Kvsh({"--json", "monitor"}, [&](pid_t pid, const Result& now) {
        if (!changed && now.err.find("monitoring") != std::string::npos) {
            changed = true;
            ASSERT_TRUE(device->SetValue("开关-1", "开关状态", flipped));
            ASSERT_TRUE(device->SetValue("组件管理器", "运行状态", "true"));
            // An event that ends after its name: shown with an empty value, as the program does.
            const uint8_t noValue[] = {18, 0, 0, 0,   0,   0,   20,  0,   0,
                                       0,  0, 0, 'x', '-', '1', '.', 'y', 0};
            device->Broadcast(noValue, sizeof noValue);
        }
        if (!stopped && std::count(now.out.begin(), now.out.end(), '\n') >= 3) {
            stopped = true;
            kill(pid, SIGINT);
        }
    });
    EXPECT_EQ(r.code, 0) << r.err;
    bool event = false, info = false, noValue = false;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        Result one;
        one.out = line;
        Json::Value e = one.Json();
        if (e["event"].asString() == "monitor" && e["attribute"].asString() == "x-1.y") {
            EXPECT_TRUE(e["value"].isNull()) << line;
            noValue = true;
        } else if (e["event"].asString() == "monitor") {
            EXPECT_EQ(e["attribute"].asString(), "开关-1.开关状态");
            EXPECT_EQ(e["value"].asString(), flipped);
            event = true;
        } else if (e["event"].asString() == "info") {
            EXPECT_EQ(e["text"].asString(), "交换网和工作循环已启动");
            EXPECT_EQ(e["level"].asInt(), 2);
            info = true;
        }
    }
    EXPECT_TRUE(event && info && noValue) << r.out;
}

TEST_P(KvshDeviceTest, BootModesAndRestart) {
    ASSERT_EQ(Kvsh({"run"}).code, 0);
    for (const char* mode : {"enter", "normal", "factory", "leave"}) {
        SCOPED_TRACE(mode);
        Result r = Kvsh({"boot", mode});
        EXPECT_EQ(r.code, 0) << r.err;
    }
    EXPECT_FALSE(device->Running()) << "the boot loader stops the work loop";
    EXPECT_EQ(Kvsh({"restart"}).code, 0);
    EXPECT_EQ(Kvsh({"boot", "sideways"}).code, 2);

    devsim::Faults silent;
    silent.silent = true;
    device->SetFaults(silent);
    Result r = Kvsh({"boot", "enter"});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("boot enter: no answer from the controller"), std::string::npos) << r.err;
}

// A link that cannot be opened at all.
TEST(KvshLink, MissingPortOrControllerEndsWithStatus3) {
    Result serial = RunKvsh({"--serial", "/nonexistent/ttyKVS", "tree"});
    EXPECT_EQ(serial.code, 3);
    EXPECT_NE(serial.err.find("cannot open serial port /nonexistent/ttyKVS"), std::string::npos)
        << serial.err;
    setenv("KVSH_USB_SIM", "", 1);  // the simulated driver with nothing attached
    Result usb = RunKvsh({"--usb", "0", "tree"});
    unsetenv("KVSH_USB_SIM");
    EXPECT_EQ(usb.code, 3);
    EXPECT_NE(usb.err.find("cannot open USB controller 0"), std::string::npos) << usb.err;
}

TEST_P(KvshDeviceTest, ListsUsbControllers) {
    Result r = RunKvsh({"--json", "usb", "list"});
    ASSERT_EQ(r.code, 0) << r.err;
    const Json::Value indexes = r.Json()["indexes"];
    if (GetParam() == Link::Usb) {
        ASSERT_EQ(indexes.size(), 1u) << r.out;
        EXPECT_EQ(indexes[0].asInt(), 0);
    } else {
        EXPECT_TRUE(indexes.empty()) << r.out;
    }
}

INSTANTIATE_TEST_SUITE_P(Links, KvshDeviceTest,
                         ::testing::Values(Link::Udp, Link::Serial, Link::Usb),
                         [](const auto& info) {
                             return info.param == Link::Udp      ? "Udp"
                                    : info.param == Link::Serial ? "Serial"
                                                                 : "Usb";
                         });

}  // namespace
