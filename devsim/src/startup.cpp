// Startup parameters, the six configuration slots, the boot loader's modes and the restart that
// loads the startup slot.
#include <algorithm>
#include <cstring>

#include "model.h"
#include "schema.h"

namespace devsim {

namespace {

T_GLOAT_SET DefaultParams(const std::string& key) {
    T_GLOAT_SET p{};
    const uint8_t ip[4] = {192, 168, 1, 100}, remote[4] = {192, 168, 1, 10},
                  mask[4] = {255, 255, 255, 0}, gw[4] = {192, 168, 1, 1};
    std::memcpy(p.deviceIp, ip, 4);
    p.clientPort = 30000;
    p.serverPort = 30001;
    p.modbusPort = 502;
    std::memcpy(p.remoteServerIp, remote, 4);
    p.serverListenPort = 8000;
    std::memcpy(p.subnetMask, mask, 4);
    std::memcpy(p.gateway, gw, 4);
    std::memset(p.key, 0, sizeof p.key);
    std::memcpy(p.key, key.data(), std::min(key.size(), sizeof p.key));
    return p;
}

std::string KeyOf(const T_GLOAT_SET& p) {
    size_t n = 0;
    while (n < sizeof p.key && p.key[n]) ++n;
    return std::string(p.key, n);
}

}  // namespace

std::string Model::Key() const { return key_; }

void Model::SetKey(const std::string& key) {
    key_ = key;
    factory_key_ = key;
    params_ = DefaultParams(key);
    pending_params_ = params_;
}

uint8_t Model::ConfigOperate(int op, uint8_t bytes[3], const T_GLOAT_SET* rec_in,
                             T_GLOAT_SET* rec_out) {
    if (in_boot_ && op != 4) return kInBoot;
    switch (op) {
        case 1:
            if (bytes[0] > 5) return kRefused;
            slots_[bytes[0]] = ExportConfig();
            Info(2, "配置已保存到槽位" + std::to_string(bytes[0]));
            return kOk;
        case 3:
            SetRunning(false);
            Clear();
            return kOk;
        case 4:
            std::memcpy(bytes, pending_bytes_, 3);
            *rec_out = pending_params_;
            return kOk;
        case 5: {
            if (!rec_in) return kMalformed;
            const uint8_t serial = bytes[2];
            if (bytes[0] > 5 || bytes[1] > 3 || (serial & 7) > 3 || ((serial >> 3) & 3) > 2 ||
                (serial >> 6) > 2)
                return kRefused;
            std::memcpy(pending_bytes_, bytes, 3);
            pending_params_ = *rec_in;
            *rec_out = pending_params_;
            return kOk;
        }
        default:
            return kRefused;
    }
}

uint8_t Model::Boot(int code) {
    switch (code) {
        case 51:
            SetRunning(false);
            if (sampling_) FinishSampling();
            in_boot_ = true;
            Info(2, "进入BOOT模式");
            return kOk;
        case 52:
            if (!in_boot_) return kRefused;
            in_boot_ = false;
            Info(2, "退出BOOT模式");
            Restart();
            return kOk;
        case 53:
        case 54:
            if (!in_boot_) return kRefused;
            factory_mode_ = code == 53;
            Info(2, factory_mode_ ? "已设置为出厂模式" : "已设置为正常模式");
            return kOk;
        default:
            return kRefused;
    }
}

void Model::Restart() {
    SetRunning(false);
    if (sampling_) FinishSampling();
    Info(2, "系统重新启动");
    if (factory_mode_) {
        params_ = DefaultParams(factory_key_);
        pending_params_ = params_;
        uint8_t defaults[3] = {0, 3, 0x53};
        std::memcpy(pending_bytes_, defaults, 3);
        Info(2, "出厂模式: 启动参数已恢复默认值");
    } else {
        params_ = pending_params_;
    }
    std::memcpy(boot_bytes_, pending_bytes_, 3);
    key_ = KeyOf(params_);
    std::string slot = slots_[boot_bytes_[0] % 6];
    std::string err;
    if (slot.empty() || !ImportConfig(slot, &err)) {
        Clear();
        Info(2, "启动配置文件槽位" + std::to_string(boot_bytes_[0]) + "为空, 以空配置启动");
    } else {
        Info(2, "已加载启动配置文件槽位" + std::to_string(boot_bytes_[0]));
    }
    Attr* mode = comps_.front()->Find("运行模式");
    mode->value = factory_mode_ ? "出厂模式" : "正常模式";
    Info(2, "工作循环已停止, 等待启动");
}

}  // namespace devsim
