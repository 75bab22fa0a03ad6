// Configurations at the largest size the protocol carries, both ways, over UDP, a pseudo
// terminal and the simulated USB bus against the simulated controller. Runs in a private network
// namespace.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "devsim/device.h"
#include "devsim/usb_controller.h"
#include "gbk.h"
#include "kvsh_user.h"
#include "kvsh_vocab.h"

namespace {

// The longest configuration text a download may carry: its message (head, text, NUL) is the
// largest the 16-bit frame length allows.
constexpr size_t kLongestText = 65535 - 12 - 1;

enum class Link { kUdp, kSerial, kUsb };

class LargestFrame : public ::testing::TestWithParam<Link> {
  protected:
    void SetUp() override {
        device = devsim::Device::CreateDemo();
        KVSGetKey("62719405");
        std::string error;
        if (GetParam() == Link::kUdp) {
            ASSERT_TRUE(device->StartUdp("127.0.0.1", 30001, &error)) << error;
            ASSERT_TRUE(KVS_Initial_UDP(127, 0, 0, 1));
        } else if (GetParam() == Link::kSerial) {
            std::string path = device->StartPty("", &error);
            ASSERT_FALSE(path.empty()) << error;
            ASSERT_TRUE(KVS_Initial_UART(path.data()));
        } else {
            // The library's simulated USB driver finds the controller through this variable.
            const std::string socket = "/tmp/kvs_largest_" + std::to_string(getpid()) + ".sock";
            usb = std::make_unique<devsim::UsbController>(*device, socket);
            ASSERT_TRUE(usb->Plug(&error)) << error;
            setenv("KVSH_USB_SIM", socket.c_str(), 1);
            ASSERT_TRUE(KVS_Initial_USB(0));
        }
    }
    void TearDown() override {
        KVS_Clear();
        usb.reset();
        unsetenv("KVSH_USB_SIM");
        device.reset();
    }
    // Pads comments (a value holds at most 16000 characters) until the device's configuration
    // text is exactly size bytes of GBK.
    std::string ConfigOfSize(size_t size) {
        auto bytes = [&] { return kvs::Utf8ToGbk(device->ExportConfig()).size(); };
        std::vector<std::string> comps = device->ListComponents();
        comps.erase(comps.begin());  // the component manager keeps no comment
        for (const std::string& c : comps) device->SetValue(c, KVS_ATTR_COMMENT, "");
        size_t left = size - bytes();
        for (const std::string& c : comps) {
            const size_t take = std::min<size_t>(left, 15000);
            EXPECT_TRUE(device->SetValue(c, KVS_ATTR_COMMENT, std::string(take, 'x'))) << c;
            left -= take;
            if (left == 0) break;
        }
        std::string text = kvs::Utf8ToGbk(device->ExportConfig());
        EXPECT_EQ(text.size(), size);
        return text;
    }
    std::unique_ptr<devsim::Device> device;
    std::unique_ptr<devsim::UsbController> usb;
};

TEST_P(LargestFrame, TheLongestConfigurationTravelsBothWays) {
    const std::string text = ConfigOfSize(kLongestText);
    // Upload: the reply is a 65535-byte message.
    const char* up = KVS_UploadConfig();
    ASSERT_NE(up, nullptr) << KVS_GetLastResult(nullptr);
    EXPECT_EQ(std::strlen(up), text.size());
    EXPECT_TRUE(std::string(up) == text);

    // Download: the request is a 65535-byte message; the device takes it and gives it back.
    device->SetValue(device->ListComponents().at(1), KVS_ATTR_COMMENT, "short");
    ASSERT_TRUE(KVS_DownloadConfig(text.c_str())) << KVS_GetLastResult(nullptr);
    EXPECT_EQ(KVS_GetLastResult(nullptr), KVS_RESULT_DONE);
    EXPECT_EQ(kvs::Utf8ToGbk(device->ExportConfig()), text);

    // One character more is refused before sending.
    EXPECT_FALSE(KVS_DownloadConfig((text + "x").c_str()));
    EXPECT_EQ(KVS_GetLastResult(nullptr), KVS_RESULT_NOT_SENT);
}

INSTANTIATE_TEST_SUITE_P(Links, LargestFrame,
                         ::testing::Values(Link::kUdp, Link::kSerial, Link::kUsb),
                         [](const auto& info) {
                             return info.param == Link::kUdp      ? "Udp"
                                    : info.param == Link::kSerial ? "Serial"
                                                                  : "Usb";
                         });

}  // namespace
