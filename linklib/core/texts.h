// The library's own log texts. Sources hold them in UTF-8; receivers get GBK, converted once
// on first use and cached for the life of the process (never destroyed, so that a receive
// thread can log during exit).
#pragma once

namespace kvs {

enum class TextId {
    // request engine
    kReplyTimeout,    // "发送通讯命令失败:下位机回应超时！id = %d"
    kUnmatchedReply,  // "接收到未能匹配的回应帧[命令号%d]"
    kRecovered,       // "通讯设备恢复成功"
    kRecovering,      // "通讯内部错误,尝试恢复"
    kUnrecoverable,   // "通讯设备无法恢复，请重新启动KVS"
    kMalformedReply,  // "接收到格式错误的回应帧[命令号%d,长度%d,实际%d]"
    // frames
    kBadLead,       // "%s:接收到错误帧[前导字节错误:%x]"
    kBadChecksum,   // "%s:接收到错误帧[CRC校验码错误,正确:%x, 错误:%x]"
    kFrameTooLong,  // "%s:接收到错误帧[帧长度超出缓冲区:%u]"
    kRxOverflow,    // "%s:接收缓冲区溢出,丢弃%u字节"
    // reply decoding
    kBadReplyText,  // "命令%d的回应数据不完整"
    kBadRecords,    // "命令%d的回应记录格式错误"
    // UDP
    kUdpSocket,  // "CHWComm_Udp:socket函数错误"
    kUdpBind,  // "CHWComm_Udp:bind函数错误，可能是主机地址配置错误或者主机端口被占用!"
    kUdpConnect,       // "CHWComm_Udp:connect函数错误"
    kUdpNotConnected,  // "CHWComm_Udp::SendFrame：请先连接然后再发送数据！"
    kUdpSendError,     // "CHWComm_Udp::SendFrame:发送错误！"
    kUdpStopThread,    // "CCOMM_Udp::Disconnect:无法停止工作线程，请注意！"
    // serial
    kUartOpen,        // "无法打开串口设备:%s"
    kUartStopThread,  // "%s:无法停止串口接收线程，请注意！"
    kUartHangup,      // "%s:串口连接已断开,停止接收"
    kUartLost,        // "%s:串口连接已断开,命令未发送[命令号%d]"
    // USB
    kUsbStopThread,  // "无法停止USB口接收线程，请注意"
    // connections
    kUartReady,  // "通讯串口初始化成功."
    kUsbReady,   // "通讯USB口初始化成功."
    kUdpReady,   // "通讯UDP口初始化成功."
    kCount
};

// The GBK form of a text; never null, valid for the life of the process. Thread-safe.
const char* Text(TextId id);

}  // namespace kvs
