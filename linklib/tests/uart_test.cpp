// The serial transport: the initialisation text, the line settings on a real pseudo terminal,
// and requests end to end against the scripted peer on the terminal's other side.
#include "uart.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gbk.h"
#include "kvsh_user.h"
#include "log_capture.h"
#include "scripted_peer.h"
#include "uart_termios.h"

namespace {

using kvs_test::Bytes;
using kvs_test::ScriptedPeer;
using kvs_test::TextReply;

std::string G(const char* utf8) { return kvs::Utf8ToGbk(std::string(utf8)); }

TEST(UartInit, FieldsReplaceTheirDefaults) {
    struct Case {
        std::string text;
        std::string port;
        unsigned baud, data, stop;
        kvs::Parity parity;
    } cases[] = {
        {"COM7", "COM7", 115200, 8, 1, kvs::Parity::kNone},
        {"COM2:9600-7-2-" + G("偶校验"), "COM2", 9600, 7, 2, kvs::Parity::kEven},
        {"COM3:115200-8-1-" + G("奇校验"), "COM3", 115200, 8, 1, kvs::Parity::kOdd},
        {"COM3:115200-8-1-" + G("无校验"), "COM3", 115200, 8, 1, kvs::Parity::kNone},
        {"COM1:115200-8-1-0", "COM1", 115200, 8, 1, kvs::Parity::kNone},
        {"/dev/ttyUSB0:19200", "/dev/ttyUSB0", 19200, 8, 1, kvs::Parity::kNone},
        {"/dev/ttyUSB0:57600-6", "/dev/ttyUSB0", 57600, 6, 1, kvs::Parity::kNone},
        // The baud rate is read whenever a ':' is present; an empty one is left for the port.
        {"COM4:", "COM4", 0, 8, 1, kvs::Parity::kNone},
        {"COM4:x-y-3", "COM4", 0, 0, 1, kvs::Parity::kNone},
    };
    for (const Case& c : cases) {
        std::vector<char> buf(c.text.begin(), c.text.end());
        buf.push_back('\0');
        kvs::SerialSettings s;
        const char* port = kvs::ParseUartInit(buf.data(), &s);
        EXPECT_EQ(std::string(port), c.port) << c.text;
        EXPECT_EQ(s.baud, c.baud) << c.text;
        EXPECT_EQ(s.data_bits, c.data) << c.text;
        EXPECT_EQ(s.stop_bits, c.stop) << c.text;
        EXPECT_EQ(s.parity, c.parity) << c.text;
    }
}

TEST(UartInit, SplitsTheCallersTextInPlace) {
    char text[] = "COM2:9600-7-2-x";
    kvs::SerialSettings s;
    kvs::ParseUartInit(text, &s);
    const char want[] =
        "COM2\0"
        "9600\0"
        "7\0"
        "2\0"
        "x";
    EXPECT_EQ(0, std::memcmp(text, want, sizeof want));
}

TEST(UartInit, PortNamesMapToDevicePaths) {
    const std::pair<const char*, const char*> cases[] = {
        {"COM1", "/dev/ttyS0"},      {"com12", "/dev/ttyS11"}, {"/dev/pts/3", "/dev/pts/3"},
        {"ttyUSB0", "/dev/ttyUSB0"}, {"COMX", "/dev/COMX"},    {"COM0", "/dev/COM0"}};
    for (auto& [name, want] : cases) {
        char path[64];
        ASSERT_TRUE(kvs::UartDevicePath(name, path, sizeof path)) << name;
        EXPECT_STREQ(path, want);
    }
    char small[8];
    EXPECT_FALSE(kvs::UartDevicePath("/dev/ttyUSB0", small, sizeof small));
}

TEST(UartLine, SettingsMapOntoTermios) {
    struct Case {
        kvs::SerialSettings s;
        speed_t speed;
        tcflag_t size;
        bool two_stop, parity, odd;
    } cases[] = {
        {{115200, 8, 1, kvs::Parity::kNone}, B115200, CS8, false, false, false},
        {{9600, 7, 2, kvs::Parity::kEven}, B9600, CS7, true, true, false},
        {{19200, 6, 1, kvs::Parity::kOdd}, B19200, CS6, false, true, true},
        // Values the line cannot take leave what the port had (here 38400 baud, 5 bits).
        {{0, 0, 1, kvs::Parity::kNone}, B38400, CS5, false, false, false},
        {{12345, 9, 1, kvs::Parity::kNone}, B38400, CS5, false, false, false},
    };
    for (const Case& c : cases) {
        termios t{};
        cfsetspeed(&t, B38400);
        t.c_cflag |= CS5 | CRTSCTS | PARENB | CSTOPB;
        t.c_lflag |= ICANON | ECHO;
        t.c_iflag |= ICRNL;
        kvs::ApplySerialSettings(&t, c.s);
        EXPECT_EQ(cfgetospeed(&t), c.speed) << c.s.baud;
        EXPECT_EQ(t.c_cflag & CSIZE, c.size) << c.s.data_bits;
        EXPECT_EQ(bool(t.c_cflag & CSTOPB), c.two_stop);
        EXPECT_EQ(bool(t.c_cflag & PARENB), c.parity);
        EXPECT_EQ(bool(t.c_cflag & PARODD), c.odd);
        EXPECT_TRUE(t.c_cflag & CRTSCTS) << "flow control is the port's";
        EXPECT_FALSE(t.c_lflag & (ICANON | ECHO));
        EXPECT_FALSE(t.c_iflag & ICRNL);
    }
}

class UartPeer : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        KVSGetKey("");
    }
    void TearDown() override { KVS_Clear(); }
    bool Open(const std::string& fields = "") {
        std::string init = peer.SlavePath() + fields;
        std::vector<char> buf(init.begin(), init.end());
        buf.push_back('\0');
        return KVS_Initial_UART(buf.data());
    }
    kvs_test::LogCapture log;
    ScriptedPeer peer{ScriptedPeer::Kind::kSerial};
};

TEST_F(UartPeer, LineSettingsReachTheTerminal) {
    ASSERT_TRUE(Open(":9600-8-2-" + G("偶校验")));
    // A pseudo terminal keeps baud and stop bits (it forces 8 bits without parity).
    int fd = open(peer.SlavePath().c_str(), O_RDONLY | O_NOCTTY);
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    close(fd);
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO));  // raw: binary frames pass untouched
    EXPECT_TRUE(log.Has(2, "通讯串口初始化成功."));
}

TEST_F(UartPeer, RequestTravelsAsOneFrameWithTheKeyInItsChecksum) {
    KVSGetKey("99999999");  // 72
    peer.ExpectKey(72);
    peer.SetHandler([](const Bytes&) { return TextReply(4, 0, "42"); });
    ASSERT_TRUE(Open());
    const char* v = KVS_GetAttrVal("a-1", "b");
    ASSERT_NE(v, nullptr);
    EXPECT_STREQ(v, "42");
    ASSERT_EQ(peer.Messages().size(), 1u);
    Bytes want = {18, 0, 0, 0, 0, 0, 4, 1, 0, 0, 0, 0, 'a', '-', '1', 0, 'b', 0};
    EXPECT_EQ(peer.Messages()[0], want);
    EXPECT_EQ(peer.BadFrames(), 0);
    KVSGetKey("");
}

// Messages handed to the receive callback (which runs on the receive thread).
struct Received {
    std::mutex mu;
    std::vector<std::string> texts;
    static void Callback(const unsigned char* m, int n, void* user) {
        auto* self = static_cast<Received*>(user);
        std::lock_guard<std::mutex> lock(self->mu);
        self->texts.emplace_back(reinterpret_cast<const char*>(m) + 12, n - 12);
    }
    std::vector<std::string> WaitFor(size_t n) {
        for (int i = 0; i < 1000; ++i) {
            {
                std::lock_guard<std::mutex> lock(mu);
                if (texts.size() >= n) return texts;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::lock_guard<std::mutex> lock(mu);
        return texts;
    }
};

TEST_F(UartPeer, FramesSplitOrJoinedOnTheLineAreReassembled) {
    Received got;
    std::string init = peer.SlavePath();
    KVS_HANDLE h = mKVS_Initial_UART(init.data());
    ASSERT_NE(h, nullptr);
    mKVS_RegistRecvCallBack(h, &Received::Callback, &got);
    auto frame = [](const std::string& text) {
        Bytes m(12, 0);
        m[6] = 20;
        m.insert(m.end(), text.begin(), text.end());
        m[0] = static_cast<uint8_t>(m.size());
        Bytes f(m.size() + 6);
        kvs::EncodeFrame(m.data(), m.size(), 0, f.data());
        return f;
    };
    Bytes a = frame("one"), b = frame("two"), c = frame("three");
    Bytes line = a;
    line.insert(line.end(), b.begin(), b.end());
    line.insert(line.end(), c.begin(), c.begin() + 7);
    peer.SendRaw(line);
    peer.SendRaw(Bytes(c.begin() + 7, c.end()));
    EXPECT_EQ(got.WaitFor(3), (std::vector<std::string>{"one", "two", "three"}));
    mKVS_Clear(h);
}

TEST_F(UartPeer, WritesOfSeveralThreadsNeverInterleave) {
    std::string init = peer.SlavePath();
    KVS_HANDLE h = mKVS_Initial_UART(init.data());
    ASSERT_NE(h, nullptr);
    std::vector<std::thread> pool;
    for (int t = 0; t < 4; ++t)
        pool.emplace_back([h, t] {
            std::string value(5000, static_cast<char>('a' + t));
            for (int i = 0; i < 5; ++i) mKVS_SetAttributeVal(h, "c-1", "a", value.c_str(), false);
        });
    for (auto& th : pool) th.join();
    ASSERT_TRUE(peer.WaitMessages(20));
    EXPECT_EQ(peer.BadFrames(), 0);
    for (const Bytes& m : peer.Messages()) {
        ASSERT_EQ(m.size(), 12u + 4 + 2 + 5001);
        const uint8_t c = m[18];
        EXPECT_EQ(std::count(m.begin() + 18, m.end() - 1, c), 5000) << "mixed bytes in one frame";
    }
    mKVS_Clear(h);
}

TEST_F(UartPeer, BadChecksumIsReportedWithThePortName) {
    ASSERT_TRUE(Open());
    Bytes f = {0xAA, 0x55, 12, 0, 0x77, 0, 12, 0, 0, 0, 0, 0, 0x94, 0, 0, 0, 0, 0};
    peer.SendRaw(f);
    for (int i = 0; i < 500 && log.Lines().size() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(log.Has(1, peer.SlavePath() + ":接收到错误帧[CRC校验码错误,正确:a0, 错误:77]"));
}

TEST_F(UartPeer, MissingPortFailsWithItsName) {
    char init[] = "/dev/does-not-exist:9600";
    EXPECT_FALSE(KVS_Initial_UART(init));
    EXPECT_TRUE(log.Has(1, "无法打开串口设备:/dev/does-not-exist"));
    EXPECT_EQ(KVS_GetAttrVal("a", "b"), nullptr);
}

TEST_F(UartPeer, ClosingEndsTheReceiveThreadPromptly) {
    ASSERT_TRUE(Open());
    KVS_Clear();
    // The stop report would mean the thread missed its 500 ms.
    EXPECT_FALSE(log.Has(1, "无法停止串口接收线程"));
}

TEST(UartSend, RefusesWithoutAnOpenPortOrOversizedMessages) {
    CKVSH_Uart uart;
    uint8_t msg[12] = {12};
    EXPECT_FALSE(uart.SendMsg(msg, 12));
    static uint8_t big[70000];
    EXPECT_FALSE(uart.SendMsg(big, 65536));
}

}  // namespace

namespace {

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

TEST(UartHangup, AVanishedOtherEndIsReportedOnceAndLaterRequestsFailAtOnce) {
    kvs_test::LogCapture log;
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    std::string init = ptsname(master);
    std::vector<char> buf(init.begin(), init.end());
    buf.push_back('\0');
    KVS_HANDLE h = mKVS_Initial_UART(buf.data());
    ASSERT_NE(h, nullptr);
    close(master);  // the other end vanishes

    // Once the hang-up is seen the receive thread stops reading instead of spinning on it.
    for (int i = 0; i < 200 && !log.Has(1, "串口连接已断开,停止接收"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const double cpu = CpuSeconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_LT(CpuSeconds() - cpu, 0.1) << "the receive thread must not spin";
    int reports = 0;
    for (auto& [level, text] : log.Lines())
        reports += level == 1 && text == init + ":串口连接已断开,停止接收";
    EXPECT_EQ(reports, 1);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(mKVS_GetAttrVal(h, "a", "b"), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(mKVS_GetLastResult(h, nullptr), KVS_RESULT_NOT_SENT);
    EXPECT_TRUE(log.Has(1, init + ":串口连接已断开,命令未发送[命令号4]"));
    mKVS_Clear(h);
    EXPECT_FALSE(log.Has(1, "无法停止串口接收线程"));
}

}  // namespace
