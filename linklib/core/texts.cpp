#include "texts.h"

#include <mutex>
#include <string>

#include "gbk.h"

namespace kvs {

namespace {

const char* const kUtf8[] = {
    "发送通讯命令失败:下位机回应超时！id = %d",
    "接收到未能匹配的回应帧[命令号%d]",
    "通讯设备恢复成功",
    "通讯内部错误,尝试恢复",
    "通讯设备无法恢复，请重新启动KVS",
    "接收到格式错误的回应帧[命令号%d,长度%d,实际%d]",
    "%s:接收到错误帧[前导字节错误:%x]",
    "%s:接收到错误帧[CRC校验码错误,正确:%x, 错误:%x]",
    "%s:接收到错误帧[帧长度超出缓冲区:%u]",
    "%s:接收缓冲区溢出,丢弃%u字节",
    "命令%d的回应数据不完整",
    "命令%d的回应记录格式错误",
    "CHWComm_Udp:socket函数错误",
    "CHWComm_Udp:bind函数错误，可能是主机地址配置错误或者主机端口被占用!",
    "CHWComm_Udp:connect函数错误",
    "CHWComm_Udp::SendFrame：请先连接然后再发送数据！",
    "CHWComm_Udp::SendFrame:发送错误！",
    "CCOMM_Udp::Disconnect:无法停止工作线程，请注意！",
    "无法打开串口设备:%s",
    "%s:无法停止串口接收线程，请注意！",
    "%s:串口连接已断开,停止接收",
    "%s:串口连接已断开,命令未发送[命令号%d]",
    "无法停止USB口接收线程，请注意",
    "通讯串口初始化成功.",
    "通讯USB口初始化成功.",
    "通讯UDP口初始化成功.",
};
static_assert(sizeof(kUtf8) / sizeof(kUtf8[0]) == static_cast<size_t>(TextId::kCount),
              "one text per id");

// Never destroyed: a receive thread may still log while the process exits and runs the static
// destructors (a host that exits without KVS_Clear), so the texts must outlive them.
const std::string* g_gbk = nullptr;
std::once_flag g_once;

}  // namespace

const char* Text(TextId id) {
    std::call_once(g_once, [] {
        char buf[512];
        auto* texts = new std::string[static_cast<size_t>(TextId::kCount)];
        for (size_t i = 0; i < static_cast<size_t>(TextId::kCount); ++i)
            texts[i] = Utf8ToGbk(kUtf8[i], buf, sizeof buf);
        g_gbk = texts;
    });
    return g_gbk[static_cast<size_t>(id)].c_str();
}

}  // namespace kvs
