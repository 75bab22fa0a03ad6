#include "app/device/device.h"

#include <cstring>
#include <mutex>

#include "app/device/gbk_text.h"

// --- the call frame shared by every backend ------------------------------------------------

template <class R, class F>
R CDevice::Call(F&& request) {
    if (m_operation && m_operation->Silent()) {
        R skipped;
        skipped.outcome = DeviceOutcome::NoAnswer;
        return skipped;
    }
    R result;
    {
        CDeviceBusy busy(m_busy);
        result = request();
    }
    if (result.outcome == DeviceOutcome::NoAnswer && m_operation) m_operation->MarkSilent();
    return result;
}

DeviceStatus CDevice::Key(const QString& key) {
    return Call<DeviceStatus>([&] { return DoKey(key); });
}
DeviceResult<QByteArray> CDevice::ComponentTree() {
    return Call<DeviceResult<QByteArray>>([&] { return DoRecords(1, QString(), QString()); });
}
DeviceResult<QByteArray> CDevice::ComponentAttrInfo(const QString& component) {
    return Call<DeviceResult<QByteArray>>([&] { return DoRecords(2, component, QString()); });
}
DeviceResult<QByteArray> CDevice::AttrInfo(const QString& component, const QString& attribute) {
    return Call<DeviceResult<QByteArray>>([&] { return DoRecords(3, component, attribute); });
}
DeviceResult<QByteArray> CDevice::ComponentSlotInfo(const QString& component) {
    return Call<DeviceResult<QByteArray>>([&] { return DoRecords(12, component, QString()); });
}
DeviceResult<QString> CDevice::GetAttrVal(const QString& component, const QString& attribute) {
    return Call<DeviceResult<QString>>([&] { return DoText(4, component, attribute); });
}
DeviceResult<QString> CDevice::GetAttrRealVal(const QString& component, const QString& attribute) {
    return Call<DeviceResult<QString>>([&] { return DoText(5, component, attribute); });
}
DeviceResult<QString> CDevice::GetAttributeLink(const QString& component,
                                                const QString& attribute) {
    return Call<DeviceResult<QString>>([&] { return DoText(6, component, attribute); });
}
DeviceResult<QString> CDevice::AddNewComponent(const QString& type, const QString& second) {
    return Call<DeviceResult<QString>>([&] { return DoText(10, type, second); });
}
DeviceResult<QString> CDevice::GetBatchAttrVal(const QString& names, int count) {
    return Call<DeviceResult<QString>>([&] { return DoGetBatchAttrVal(names, count); });
}
DeviceResult<QByteArray> CDevice::GetAttrMemData(const QString& component,
                                                 const QString& attribute) {
    return Call<DeviceResult<QByteArray>>([&] { return DoGetAttrMemData(component, attribute); });
}
DeviceResult<QByteArray> CDevice::UploadConfig() {
    return Call<DeviceResult<QByteArray>>([&] { return DoUploadConfig(); });
}
DeviceStatus CDevice::SetAttributeVal(const QString& component, const QString& attribute,
                                      const QString& value, bool wait) {
    return Call<DeviceStatus>([&] { return DoSetAttributeVal(component, attribute, value, wait); });
}
DeviceStatus CDevice::SetBatchAttrVal(const QString& names, const QString& values, int count,
                                      bool wait) {
    return Call<DeviceStatus>([&] { return DoSetBatchAttrVal(names, values, count, wait); });
}
DeviceStatus CDevice::SetAttributeLink(const QString& component, const QString& attribute,
                                       const QString& source) {
    return Call<DeviceStatus>([&] { return DoSetAttributeLink(component, attribute, source); });
}
DeviceStatus CDevice::ModifyStrList(const QString& component, const QString& attribute, int first,
                                    const QString& text, int second) {
    return Call<DeviceStatus>(
        [&] { return DoModifyStrList(component, attribute, first, text, second); });
}
DeviceStatus CDevice::SetAttrMemData(const QString& component, const QString& attribute,
                                     const QByteArray& data) {
    return Call<DeviceStatus>([&] { return DoSetAttrMemData(component, attribute, data); });
}
DeviceStatus CDevice::DelComponent(const QString& component) {
    return Call<DeviceStatus>([&] { return DoDelComponent(component); });
}
DeviceStatus CDevice::DownloadConfig(const QByteArray& text) {
    return Call<DeviceStatus>([&] { return DoDownloadConfig(text); });
}
DeviceStatus CDevice::ConfigFileOperate(uint8_t operation, uint8_t* slot, uint8_t* device,
                                        uint8_t* serial, T_GLOAT_SET* record) {
    return Call<DeviceStatus>(
        [&] { return DoConfigFileOperate(operation, slot, device, serial, record); });
}
DeviceStatus CDevice::InBoot(int mode) {
    return Call<DeviceStatus>([&] { return DoInBoot(mode); });
}

// --- operation scope -----------------------------------------------------------------------

CDeviceOperation::CDeviceOperation(CDevice& device, const QString& what)
    : m_device(device), m_outer(device.m_operation), m_what(what) {
    m_device.m_operation = this;
}

CDeviceOperation::~CDeviceOperation() {
    m_device.m_operation = m_outer;
    if (!m_silent) return;
    if (m_outer) {
        m_outer->MarkSilent();  // the outermost scope reports
        return;
    }
    m_device.Log(KVS_LEVEL_ERROR, m_what.isEmpty() ? QStringLiteral("下位机无应答")
                                                   : m_what + QStringLiteral(": 下位机无应答"));
}

bool CDeviceOperation::Silent() const { return m_silent || (m_outer && m_outer->Silent()); }

void CDeviceOperation::MarkSilent() { m_silent = true; }

// --- the global connection's backend ---------------------------------------------------------

namespace {
DeviceOutcome FromResult(int result) {
    switch (result) {
        case KVS_RESULT_DONE:
            return DeviceOutcome::Done;
        case KVS_RESULT_REFUSED:
            return DeviceOutcome::Refused;
        case KVS_RESULT_NO_ANSWER:
            return DeviceOutcome::NoAnswer;
        case KVS_RESULT_MALFORMED:
            return DeviceOutcome::Malformed;
        default:
            return DeviceOutcome::NotSent;
    }
}

// The outcome of the request this thread just made.
DeviceStatus LastStatus() {
    DeviceStatus s;
    int status = 0;
    s.outcome = FromResult(KVS_GetLastResult(&status));
    s.status = status;
    return s;
}

template <class T>
DeviceResult<T> WithValue(T value) {
    DeviceResult<T> r;
    static_cast<DeviceStatus&>(r) = LastStatus();
    r.value = std::move(value);
    return r;
}

// The receive callback's target; the library calls it on its receive thread.
std::mutex g_handlerLock;
std::function<void(const QByteArray&)> g_handler;

void ForwardMessage(const unsigned char* msg, int length, void*) {
    if (!msg || length <= 0) return;
    std::lock_guard<std::mutex> lock(g_handlerLock);
    if (g_handler) g_handler(QByteArray(reinterpret_cast<const char*>(msg), length));
}

// The log's receiver; the library calls PostInfo on whatever thread logged.
std::mutex g_logLock;
DeviceLogReceiver g_logReceiver;

void PostInfo(void*, unsigned int msg, uintptr_t wParam, intptr_t lParam) {
    if (msg != KVS_WM_INFO_MESSAGE || !lParam) return;
    // The ring entry is reused 32 lines later: copy it now, on the caller's thread.
    const auto* entry = reinterpret_cast<const KVS_LOG_ENTRY*>(lParam);
    QString time = FromGbk(entry->time, sizeof entry->time);
    QString text = FromGbk(entry->text, sizeof entry->text);
    std::lock_guard<std::mutex> lock(g_logLock);
    if (g_logReceiver) g_logReceiver(unsigned(wParam), time, text);
}

QByteArray ReplyBytes(const T_MSG_HEAD* reply) {
    if (!reply) return QByteArray();
    return QByteArray(reinterpret_cast<const char*>(reply), int(reply->length));
}
}  // namespace

CKvsDevice::CKvsDevice() = default;

CKvsDevice::~CKvsDevice() {
    {
        std::lock_guard<std::mutex> lock(g_handlerLock);
        g_handler = nullptr;
    }
    SetLogReceiver(nullptr);
}

void CKvsDevice::SetKey(const QString& key) { KVSGetKey(ToGbk(key).constData()); }

bool CKvsDevice::OpenSerial(const QString& init) {
    QByteArray text = ToGbk(init);  // split in place by the library
    bool opened = KVS_Initial_UART(text.data());
    if (opened) {
        KVS_SetRequestWait(m_waitMs);
        KVS_RegistRecvCallBack(&ForwardMessage);
    }
    return opened;
}

bool CKvsDevice::OpenUsb(int index) {
    bool opened = KVS_Initial_USB(index);
    if (opened) {
        KVS_SetRequestWait(m_waitMs);
        KVS_RegistRecvCallBack(&ForwardMessage);
    }
    return opened;
}

bool CKvsDevice::OpenUdp(const std::array<uint8_t, 4>& a) {
    bool opened = KVS_Initial_UDP(a[0], a[1], a[2], a[3]);
    if (opened) {
        KVS_SetRequestWait(m_waitMs);
        KVS_RegistRecvCallBack(&ForwardMessage);
    }
    return opened;
}

void CKvsDevice::Close() { KVS_Clear(); }

std::vector<int> CKvsDevice::UsbDeviceIndexes() {
    int indexes[64];
    int n = KVS_GetUSBDevIndexs(indexes, 64);
    return std::vector<int>(indexes, indexes + (n > 0 ? n : 0));
}

void CKvsDevice::SetMessageHandler(std::function<void(const QByteArray&)> handler) {
    std::lock_guard<std::mutex> lock(g_handlerLock);
    g_handler = std::move(handler);
}

void CKvsDevice::SetLogReceiver(DeviceLogReceiver receiver) {
    bool on = bool(receiver);
    {
        std::lock_guard<std::mutex> lock(g_logLock);
        g_logReceiver = std::move(receiver);
    }
    if (on) {
        KVS_RegistInfoPostFunc(&PostInfo);
        KVS_RegistInfoWnd(&g_logReceiver);  // any non-null handle: PostInfo ignores it
    } else {
        KVS_UnregistInfoWnd();
    }
}

void CKvsDevice::SetRequestWait(int ms) {
    m_waitMs = ms > 0 ? ms : 10000;
    KVS_SetRequestWait(m_waitMs);
}

void CKvsDevice::Log(int level, const QString& text) {
    KVS_Printf(unsigned(level), "%s", ToGbk(text).constData());
}

DeviceStatus CKvsDevice::DoKey(const QString& key) {
    KVS_Key(ToGbk(key).constData());
    return LastStatus();
}

DeviceResult<QByteArray> CKvsDevice::DoRecords(int command, const QString& component,
                                               const QString& attribute) {
    QByteArray c = ToGbk(component), a = ToGbk(attribute);
    const T_MSG_HEAD* reply = nullptr;
    switch (command) {
        case 1:
            reply = KVS_GetComponentTree();
            break;
        case 2:
            reply = KVS_GetComponentAttrInfo(c.constData());
            break;
        case 3:
            reply = KVS_GetAttrInfo(c.constData(), a.constData());
            break;
        default:
            reply = KVS_GetComponentSlotInfo(c.constData());
            break;
    }
    return WithValue(ReplyBytes(reply));
}

DeviceResult<QString> CKvsDevice::DoText(int command, const QString& first, const QString& second) {
    QByteArray a = ToGbk(first), b = ToGbk(second);
    const char* text = nullptr;
    switch (command) {
        case 4:
            text = KVS_GetAttrVal(a.constData(), b.constData());
            break;
        case 5:
            text = KVS_GetAttrRealVal(a.constData(), b.constData());
            break;
        case 6:
            text = KVS_GetAttributeLink(a.constData(), b.constData());
            break;
        default:
            text = KVS_AddNewComponent(a.constData(), second.isNull() ? nullptr : b.constData());
            break;
    }
    return WithValue(FromGbk(text));
}

DeviceResult<QString> CKvsDevice::DoGetBatchAttrVal(const QString& names, int count) {
    return WithValue(FromGbk(KVS_GetBatchAttrVal(ToGbk(names).constData(), count)));
}

DeviceResult<QByteArray> CKvsDevice::DoGetAttrMemData(const QString& component,
                                                      const QString& attribute) {
    int length = 0;
    const unsigned char* data =
        KVS_GetAttrMemData(ToGbk(component).constData(), ToGbk(attribute).constData(), &length);
    return WithValue(data ? QByteArray(reinterpret_cast<const char*>(data), length) : QByteArray());
}

DeviceResult<QByteArray> CKvsDevice::DoUploadConfig() {
    const char* text = KVS_UploadConfig();
    return WithValue(text ? QByteArray(text) : QByteArray());
}

DeviceStatus CKvsDevice::DoSetAttributeVal(const QString& component, const QString& attribute,
                                           const QString& value, bool wait) {
    KVS_SetAttributeVal(ToGbk(component).constData(), ToGbk(attribute).constData(),
                        ToGbk(value).constData(), wait);
    return LastStatus();
}

DeviceStatus CKvsDevice::DoSetBatchAttrVal(const QString& names, const QString& values, int count,
                                           bool wait) {
    KVS_SetBatchAttrVal(ToGbk(names).constData(), ToGbk(values).constData(), count, wait);
    return LastStatus();
}

DeviceStatus CKvsDevice::DoSetAttributeLink(const QString& component, const QString& attribute,
                                            const QString& source) {
    KVS_SetAttributeLink(ToGbk(component).constData(), ToGbk(attribute).constData(),
                         ToGbk(source).constData());
    return LastStatus();
}

DeviceStatus CKvsDevice::DoModifyStrList(const QString& component, const QString& attribute,
                                         int first, const QString& text, int second) {
    KVS_ModifyStrList(ToGbk(component).constData(), ToGbk(attribute).constData(), first,
                      ToGbk(text).constData(), second);
    return LastStatus();
}

DeviceStatus CKvsDevice::DoSetAttrMemData(const QString& component, const QString& attribute,
                                          const QByteArray& data) {
    KVS_SetAttrMemData(ToGbk(component).constData(), ToGbk(attribute).constData(),
                       reinterpret_cast<const unsigned char*>(data.constData()), int(data.size()));
    return LastStatus();
}

DeviceStatus CKvsDevice::DoDelComponent(const QString& component) {
    KVS_DelComponent(ToGbk(component).constData());
    return LastStatus();
}

DeviceStatus CKvsDevice::DoDownloadConfig(const QByteArray& text) {
    KVS_DownloadConfig(text.constData());  // QByteArray keeps a NUL after its data
    return LastStatus();
}

DeviceStatus CKvsDevice::DoConfigFileOperate(uint8_t operation, uint8_t* slot, uint8_t* device,
                                             uint8_t* serial, T_GLOAT_SET* record) {
    KVS_ConfigFile_Operate(operation, slot, device, serial, record);
    return LastStatus();
}

DeviceStatus CKvsDevice::DoInBoot(int mode) {
    KVS_InBoot(mode);
    return LastStatus();
}
