#include "settings.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "args.h"

namespace kvsh {

namespace {

const char* const kDevices[] = {"串口通讯", "USB转串口通讯", "USB口通讯", "UDP口通讯"};
const char* const kDeviceShort[] = {"serial", "usb-serial", "usb", "udp"};
const int kBauds[] = {9600, 19200, 38400, 115200};
const int kDataBits[] = {6, 7, 8};
const char* const kParities[] = {"无校验", "奇校验", "偶校验"};
const char* const kParityShort[] = {"none", "odd", "even"};

std::string Ip(const uint8_t b[4]) {
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
           std::to_string(b[3]);
}

// Ports are shown as the dialog shows them: signed decimal.
std::string Port(uint32_t v) { return std::to_string(static_cast<int32_t>(v)); }

std::string Key(const T_GLOAT_SET& r) { return std::string(r.key, strnlen(r.key, sizeof r.key)); }

std::string DeviceText(uint8_t d) {
    return d < 4 ? kDevices[d] : "未知(" + std::to_string(d) + ")";
}

std::string OrUnknown(int v) { return v ? std::to_string(v) : "未知"; }

bool ParseUnsigned(const std::string& v, unsigned long max, unsigned long* out) {
    if (v.empty() || v.size() > 10) return false;
    for (char c : v)
        if (c < '0' || c > '9') return false;
    unsigned long n = std::strtoul(v.c_str(), nullptr, 10);
    if (n > max) return false;
    *out = n;
    return true;
}

int IndexOf(const std::string& v, const char* const* names, const char* const* shorts, int n) {
    for (int i = 0; i < n; ++i)
        if (v == names[i] || v == shorts[i] || v == std::to_string(i)) return i;
    return -1;
}

}  // namespace

int BaudRate(uint8_t serial) {
    int code = serial & 0x07;
    return code < 4 ? kBauds[code] : 0;
}
int DataBits(uint8_t serial) {
    int code = (serial >> 3) & 0x03;
    return code < 3 ? kDataBits[code] : 0;
}
int StopBits(uint8_t serial) { return (serial & 0x20) ? 2 : 1; }
int ParityCode(uint8_t serial) { return (serial >> 6) & 0x03; }

std::vector<std::pair<std::string, std::string>> SettingsLines(const StartupSettings& s) {
    const T_GLOAT_SET& r = s.record;
    int parity = ParityCode(s.serial);
    return {
        {"通讯设备选择：", DeviceText(s.device)},
        {"串口波特率：", OrUnknown(BaudRate(s.serial))},
        {"串口数据位：", OrUnknown(DataBits(s.serial))},
        {"串口停止位：", std::to_string(StopBits(s.serial))},
        {"串口校验位：", parity < 3 ? kParities[parity] : "未知"},
        {"设备IP：", Ip(r.deviceIp)},
        {"子网掩码：", Ip(r.subnetMask)},
        {"默认网关：", Ip(r.gateway)},
        {"客户端端口号：", Port(r.clientPort)},
        {"服务端端口号：", Port(r.serverPort)},
        {"ModBus端口号：", Port(r.modbusPort)},
        {"远端服务器IP:", Ip(r.remoteServerIp)},
        {"服务器监听端口号：", Port(r.serverListenPort)},
        {"启动配置文件选择：", "配置文件槽位" + std::to_string(s.slot)},
        {"秘钥：", Key(r)},
    };
}

Json::Value SettingsJson(const StartupSettings& s) {
    const T_GLOAT_SET& r = s.record;
    Json::Value v(Json::objectValue);
    v["device"] = s.device;
    v["device-name"] = DeviceText(s.device);
    v["baud"] = BaudRate(s.serial);
    v["data-bits"] = DataBits(s.serial);
    v["stop-bits"] = StopBits(s.serial);
    int parity = ParityCode(s.serial);
    v["parity"] = parity < 3 ? kParityShort[parity] : "unknown";
    v["serial-byte"] = s.serial;
    v["device-ip"] = Ip(r.deviceIp);
    v["subnet-mask"] = Ip(r.subnetMask);
    v["gateway"] = Ip(r.gateway);
    v["client-port"] = static_cast<int32_t>(r.clientPort);
    v["server-port"] = static_cast<int32_t>(r.serverPort);
    v["modbus-port"] = static_cast<int32_t>(r.modbusPort);
    v["remote-server-ip"] = Ip(r.remoteServerIp);
    v["server-listen-port"] = static_cast<int32_t>(r.serverListenPort);
    v["slot"] = s.slot;
    v["key"] = Key(r);
    return v;
}

bool ApplySetting(StartupSettings& s, const std::string& assignment, std::string* error) {
    size_t eq = assignment.find('=');
    if (eq == std::string::npos || eq == 0) {
        *error = "expected FIELD=VALUE, not '" + assignment + "'";
        return false;
    }
    const std::string field = assignment.substr(0, eq);
    const std::string value = assignment.substr(eq + 1);
    auto bad = [&](const std::string& what) {
        *error = "bad value for " + field + ": '" + value + "' (" + what + ")";
        return false;
    };
    StartupSettings t = s;
    T_GLOAT_SET& r = t.record;
    unsigned long n = 0;
    if (field == "device") {
        int d = IndexOf(value, kDevices, kDeviceShort, 4);
        if (d < 0) return bad("serial, usb-serial, usb, udp or 0-3");
        t.device = static_cast<uint8_t>(d);
    } else if (field == "slot") {
        if (!ParseUnsigned(value, 5, &n)) return bad("0-5");
        t.slot = static_cast<uint8_t>(n);
    } else if (field == "baud") {
        int code = -1;
        for (int i = 0; i < 4; ++i)
            if (value == std::to_string(kBauds[i])) code = i;
        if (code < 0) return bad("9600, 19200, 38400 or 115200");
        t.serial = static_cast<uint8_t>((t.serial & ~0x07) | code);
    } else if (field == "data-bits") {
        int code = -1;
        for (int i = 0; i < 3; ++i)
            if (value == std::to_string(kDataBits[i])) code = i;
        if (code < 0) return bad("6, 7 or 8");
        t.serial = static_cast<uint8_t>((t.serial & ~0x18) | (code << 3));
    } else if (field == "stop-bits") {
        if (value != "1" && value != "2") return bad("1 or 2");
        t.serial = static_cast<uint8_t>((t.serial & ~0x20) | (value == "2" ? 0x20 : 0));
    } else if (field == "parity") {
        int p = -1;
        for (int i = 0; i < 3; ++i)
            if (value == kParities[i] || value == kParityShort[i]) p = i;
        if (p < 0) return bad("none, odd or even");
        t.serial = static_cast<uint8_t>((t.serial & ~0xC0) | (p << 6));
    } else if (field == "device-ip" || field == "subnet-mask" || field == "gateway" ||
               field == "remote-server-ip") {
        uint8_t* dst = field == "device-ip"     ? r.deviceIp
                       : field == "subnet-mask" ? r.subnetMask
                       : field == "gateway"     ? r.gateway
                                                : r.remoteServerIp;
        if (!ParseIPv4(value, dst)) return bad("an IPv4 address A.B.C.D");
    } else if (field == "client-port" || field == "server-port" || field == "modbus-port" ||
               field == "server-listen-port") {
        if (!ParseUnsigned(value, 65535, &n)) return bad("0-65535");
        // The record is packed: its fields may sit at any address, so they are written by copy.
        void* dst = field == "client-port"   ? static_cast<void*>(&r.clientPort)
                    : field == "server-port" ? static_cast<void*>(&r.serverPort)
                    : field == "modbus-port" ? static_cast<void*>(&r.modbusPort)
                                             : static_cast<void*>(&r.serverListenPort);
        const uint32_t port = static_cast<uint32_t>(n);
        std::memcpy(dst, &port, sizeof port);
    } else if (field == "key") {
        // The key travels as 8 bytes without terminator; anything else cannot be stored.
        if (value.size() != sizeof r.key) {
            *error = "秘钥修改失败，秘钥必须为8位！！";
            return false;
        }
        std::memcpy(r.key, value.data(), sizeof r.key);
    } else {
        *error = "unknown field '" + field + "' (see kvsh settings --help)";
        return false;
    }
    s = t;
    return true;
}

}  // namespace kvsh
