// Configuration descriptors come from the device and are walked with every length checked.
#include <gtest/gtest.h>

#include <vector>

#include "usb_device.h"
#include "usb_sim_wire.h"

namespace {

using kvs::usb::EndpointDescriptor;
using kvs::usb::ParseFirstInterface;

struct ParseCase {
    const char* name;
    std::vector<uint8_t> config;
    bool ok;
    std::vector<uint8_t> addresses;  // endpoints found, in order
};

std::vector<uint8_t> Config(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> c = {9, 2, 0, 0, 1, 1, 0, 0x80, 50};
    for (const auto& p : parts) c.insert(c.end(), p.begin(), p.end());
    c[2] = static_cast<uint8_t>(c.size());
    c[3] = static_cast<uint8_t>(c.size() >> 8);
    return c;
}
std::vector<uint8_t> Iface(uint8_t number, uint8_t alt) {
    return {9, 4, number, alt, 2, 0xFF, 0, 0, 0};
}
std::vector<uint8_t> Ep(uint8_t address) { return {7, 5, address, 2, 0x00, 0x02, 0}; }

TEST(UsbDescriptors, FirstInterfaceEndpointsAreFoundAndMalformedDescriptorsRefused) {
    std::vector<uint8_t> runs_off = Config({Iface(0, 0), Ep(0x02)});
    runs_off[18] = 40;  // an endpoint descriptor claiming more bytes than there are
    std::vector<uint8_t> zero_len = Config({Iface(0, 0), Ep(0x02)});
    zero_len[18] = 0;
    std::vector<uint8_t> total_short = Config({Iface(0, 0), Ep(0x02), Ep(0x86)});
    total_short[2] = 25;  // wTotalLength cuts the second endpoint away

    const std::vector<ParseCase> cases = {
        {"controller", kvs::usbsim::ControllerDescriptors().config, true, {0x02, 0x86}},
        {"no bulk endpoints",
         kvs::usbsim::ControllerDescriptors(0x04B4, 0x1008, false).config,
         true,
         {}},
        {"second interface ignored",
         Config({Iface(0, 0), Ep(0x02), Iface(1, 0), Ep(0x86)}),
         true,
         {0x02}},
        {"alternate setting ignored",
         Config({Iface(0, 0), Ep(0x02), Iface(0, 1), Ep(0x86)}),
         true,
         {0x02}},
        {"unknown descriptors skipped",
         Config({{4, 0x21, 1, 2}, Iface(0, 0), {3, 0x30, 0}, Ep(0x86)}),
         true,
         {0x86}},
        {"no interface", Config({Ep(0x02)}), false, {}},
        {"length runs off the end", runs_off, false, {}},
        {"zero length", zero_len, false, {}},
        {"total length bounds the walk", total_short, true, {0x02}},
        {"not a configuration", {9, 4, 0, 0, 0, 0, 0, 0, 0}, false, {}},
        {"shorter than a head", {9, 2, 9}, false, {}},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.name);
        // An exact-size copy, so that a read past the end is caught by the sanitizer.
        std::vector<uint8_t> bytes(c.config);
        uint8_t number = 0xEE, alt = 0xEE;
        std::vector<EndpointDescriptor> eps;
        ASSERT_EQ(ParseFirstInterface(bytes.data(), bytes.size(), &number, &alt, &eps), c.ok);
        if (!c.ok) continue;
        std::vector<uint8_t> found;
        for (const auto& e : eps) found.push_back(e.address);
        EXPECT_EQ(found, c.addresses);
    }
}

TEST(UsbDescriptors, MaxPacketSizeCountsAdditionalTransactions) {
    struct {
        uint16_t raw;
        uint16_t expected;
    } cases[] = {
        {512, 512}, {64, 64}, {0x0800 | 1024, 2048}, {0x1000 | 1024, 3072}, {0xE000 | 8, 8}};
    for (auto c : cases) {
        CCyBulkEndPoint ep(nullptr, EndpointDescriptor{0x86, 2, c.raw, 0});
        EXPECT_EQ(ep.MaxPktSize, c.expected) << std::hex << c.raw;
    }
}

}  // namespace
