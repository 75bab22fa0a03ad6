// The program's one way to the device. Widgets, dialogs and the frame never call the link
// library themselves: they hold a CDevice& and call it here, in QString terms.
//
// Every call returns its value together with its outcome: done, refused by the device (with
// its status byte), no answer within the wait, malformed reply, or not sent. GBK conversion
// happens in the backend, once. Around every request the busy hook runs (the program's hook
// shows the busy cursor and discards the input given while the window waited).
//
// A CDeviceOperation scope groups the requests of one user-level operation (rebuilding the
// tree, loading the diagram, a page loop): after its first "no answer", every later call of
// that operation returns at once with NoAnswer, without a request, and the scope reports the
// silence once in the output pane when it ends. A dead link thus freezes the window for at
// most one wait per operation.
//
// Threads: a CDevice is used from one thread at a time (the user-interface thread; the
// firmware worker uses its own). The backend of the global connection is a thin wrapper of
// the library, which is itself thread-safe.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "kvsh_user.h"

enum class DeviceOutcome {
    Done,       // the device answered and the reply was used
    Refused,    // the device answered with a failing status
    NoAnswer,   // nothing answered within the wait (or an earlier call of the operation did not)
    Malformed,  // a reply came that could not be read
    NotSent,    // nothing was sent: no link, input too long, send failed
};

// The outcome of one call; status is the reply's status byte for Done and Refused.
struct DeviceStatus {
    DeviceOutcome outcome = DeviceOutcome::NotSent;
    int status = 0;

    bool Ok() const { return outcome == DeviceOutcome::Done; }
    bool NoAnswer() const { return outcome == DeviceOutcome::NoAnswer; }
    // The device answered (done or refused): the link is alive.
    bool Answered() const {
        return outcome == DeviceOutcome::Done || outcome == DeviceOutcome::Refused;
    }
};

// A value with its outcome. value is default-constructed unless the call succeeded.
template <class T>
struct DeviceResult : DeviceStatus {
    T value{};
};

// The way to a device (the connection dialog's result).
enum class LinkWay { Serial = 0, Usb = 1, Udp = 2 };

// Runs around every request that may wait: Begin before, End after (nested calls nest).
class IBusyHook {
  public:
    virtual ~IBusyHook() = default;
    virtual void Begin() = 0;
    virtual void End() = 0;
};

// Begin and End of a hook around a scope (null hook: nothing). The device brackets every
// request with it; callers use it around their own waits (opening a link, a settle pause).
class CDeviceBusy {
  public:
    explicit CDeviceBusy(IBusyHook* hook) : m_hook(hook) {
        if (m_hook) m_hook->Begin();
    }
    ~CDeviceBusy() {
        if (m_hook) m_hook->End();
    }
    CDeviceBusy(const CDeviceBusy&) = delete;
    CDeviceBusy& operator=(const CDeviceBusy&) = delete;

  private:
    IBusyHook* m_hook;
};

// Receives every line logged through the library (its own reports and Log()), on the thread
// that logged it: level, the time text "HH:MM:SS" and the message.
using DeviceLogReceiver =
    std::function<void(unsigned level, const QString& time, const QString& text)>;

class CDeviceOperation;

class CDevice {
  public:
    virtual ~CDevice() = default;

    // --- link (no busy hook around opening: the caller shows its own) --------------------------
    virtual void SetKey(const QString& key) = 0;  // the process-wide checksum key byte
    virtual bool OpenSerial(const QString& init) = 0;
    virtual bool OpenUsb(int index) = 0;
    virtual bool OpenUdp(const std::array<uint8_t, 4>& address) = 0;
    virtual void Close() = 0;
    // The indexes of the attached USB controllers.
    virtual std::vector<int> UsbDeviceIndexes() = 0;
    // Unsolicited messages (commands 20, 100, others) arrive here, on the library's receive
    // thread, as the whole raw message; decode them with kvsh_unsolicited.h.
    virtual void SetMessageHandler(std::function<void(const QByteArray& message)> handler) = 0;
    // Where logged lines go (the output pane); an empty receiver stops the delivery, and once
    // it returns no earlier receiver runs any more.
    virtual void SetLogReceiver(DeviceLogReceiver receiver) = 0;
    // The wait of ordinary requests (ms); kept across reconnects.
    virtual void SetRequestWait(int ms) = 0;
    virtual int RequestWait() const = 0;

    // --- requests ----------------------------------------------------------------------------
    DeviceStatus Key(const QString& key);
    // Commands 1, 2, 3 and 12: the whole reply message (head and records), copied; value
    // holds the reply whenever one came (Done, or Refused with its failing status).
    DeviceResult<QByteArray> ComponentTree();
    DeviceResult<QByteArray> ComponentAttrInfo(const QString& component);
    DeviceResult<QByteArray> AttrInfo(const QString& component, const QString& attribute);
    DeviceResult<QByteArray> ComponentSlotInfo(const QString& component);
    DeviceResult<QString> GetAttrVal(const QString& component, const QString& attribute);
    DeviceResult<QString> GetAttrRealVal(const QString& component, const QString& attribute);
    DeviceResult<QString> GetAttributeLink(const QString& component, const QString& attribute);
    DeviceResult<QString> AddNewComponent(const QString& type, const QString& second = QString());
    // names "comp.attr;comp.attr;"; the value list "v1;v2;".
    DeviceResult<QString> GetBatchAttrVal(const QString& names, int count);
    DeviceResult<QByteArray> GetAttrMemData(const QString& component, const QString& attribute);
    // The configuration text exactly as the device sent it (GBK bytes).
    DeviceResult<QByteArray> UploadConfig();
    DeviceStatus SetAttributeVal(const QString& component, const QString& attribute,
                                 const QString& value, bool wait = true);
    DeviceStatus SetBatchAttrVal(const QString& names, const QString& values, int count,
                                 bool wait = true);
    DeviceStatus SetAttributeLink(const QString& component, const QString& attribute,
                                  const QString& source);
    DeviceStatus ModifyStrList(const QString& component, const QString& attribute, int first,
                               const QString& text, int second);
    DeviceStatus SetAttrMemData(const QString& component, const QString& attribute,
                                const QByteArray& data);
    DeviceStatus DelComponent(const QString& component);
    // The configuration text as GBK bytes (a project file's content).
    DeviceStatus DownloadConfig(const QByteArray& text);
    // Command 13; see KVS_ConfigFile_Operate. The pointers may be null.
    DeviceStatus ConfigFileOperate(uint8_t operation, uint8_t* slot, uint8_t* device,
                                   uint8_t* serial, T_GLOAT_SET* record);
    DeviceStatus InBoot(int mode);

    // A line in the output pane (through the library's log).
    virtual void Log(int level, const QString& text) = 0;

    // The hook run around requests; null for none. Not owned.
    void SetBusyHook(IBusyHook* hook) { m_busy = hook; }
    IBusyHook* BusyHook() const { return m_busy; }
    // The innermost operation scope open on this device, or null.
    CDeviceOperation* Operation() const { return m_operation; }

  protected:
    // The backend: one request each, without scope or busy hook.
    virtual DeviceStatus DoKey(const QString& key) = 0;
    virtual DeviceResult<QByteArray> DoRecords(int command, const QString& component,
                                               const QString& attribute) = 0;  // 1, 2, 3, 12
    virtual DeviceResult<QString> DoText(int command, const QString& a,
                                         const QString& b) = 0;  // 4, 5, 6, 10
    virtual DeviceResult<QString> DoGetBatchAttrVal(const QString& names, int count) = 0;
    virtual DeviceResult<QByteArray> DoGetAttrMemData(const QString& component,
                                                      const QString& attribute) = 0;
    virtual DeviceResult<QByteArray> DoUploadConfig() = 0;
    virtual DeviceStatus DoSetAttributeVal(const QString& component, const QString& attribute,
                                           const QString& value, bool wait) = 0;
    virtual DeviceStatus DoSetBatchAttrVal(const QString& names, const QString& values, int count,
                                           bool wait) = 0;
    virtual DeviceStatus DoSetAttributeLink(const QString& component, const QString& attribute,
                                            const QString& source) = 0;
    virtual DeviceStatus DoModifyStrList(const QString& component, const QString& attribute,
                                         int first, const QString& text, int second) = 0;
    virtual DeviceStatus DoSetAttrMemData(const QString& component, const QString& attribute,
                                          const QByteArray& data) = 0;
    virtual DeviceStatus DoDelComponent(const QString& component) = 0;
    virtual DeviceStatus DoDownloadConfig(const QByteArray& text) = 0;
    virtual DeviceStatus DoConfigFileOperate(uint8_t operation, uint8_t* slot, uint8_t* device,
                                             uint8_t* serial, T_GLOAT_SET* record) = 0;
    virtual DeviceStatus DoInBoot(int mode) = 0;

  private:
    friend class CDeviceOperation;
    template <class R, class F>
    R Call(F&& request);

    IBusyHook* m_busy = nullptr;
    CDeviceOperation* m_operation = nullptr;
};

// Groups the requests of one operation (see above). Scopes nest; an inner scope shares the
// silence of the outer one, and only the outermost reports it.
class CDeviceOperation {
  public:
    // what names the operation in the report ("加载图表" gives "加载图表: 下位机无应答").
    CDeviceOperation(CDevice& device, const QString& what);
    ~CDeviceOperation();
    CDeviceOperation(const CDeviceOperation&) = delete;
    CDeviceOperation& operator=(const CDeviceOperation&) = delete;

    // True once a request of this operation (or of an enclosing one) got no answer.
    bool Silent() const;
    // Marks the operation silent (a backend's or caller's own detection).
    void MarkSilent();

  private:
    CDevice& m_device;
    CDeviceOperation* m_outer;
    QString m_what;
    bool m_silent = false;
};

// The backend over the library's global connection (KVS_*).
class CKvsDevice : public CDevice {
  public:
    CKvsDevice();
    ~CKvsDevice() override;

    void SetKey(const QString& key) override;
    bool OpenSerial(const QString& init) override;
    bool OpenUsb(int index) override;
    bool OpenUdp(const std::array<uint8_t, 4>& address) override;
    void Close() override;
    std::vector<int> UsbDeviceIndexes() override;
    void SetMessageHandler(std::function<void(const QByteArray& message)> handler) override;
    void SetLogReceiver(DeviceLogReceiver receiver) override;
    void SetRequestWait(int ms) override;
    int RequestWait() const override { return m_waitMs; }
    void Log(int level, const QString& text) override;

  protected:
    DeviceStatus DoKey(const QString& key) override;
    DeviceResult<QByteArray> DoRecords(int command, const QString& component,
                                       const QString& attribute) override;
    DeviceResult<QString> DoText(int command, const QString& a, const QString& b) override;
    DeviceResult<QString> DoGetBatchAttrVal(const QString& names, int count) override;
    DeviceResult<QByteArray> DoGetAttrMemData(const QString& component,
                                              const QString& attribute) override;
    DeviceResult<QByteArray> DoUploadConfig() override;
    DeviceStatus DoSetAttributeVal(const QString& component, const QString& attribute,
                                   const QString& value, bool wait) override;
    DeviceStatus DoSetBatchAttrVal(const QString& names, const QString& values, int count,
                                   bool wait) override;
    DeviceStatus DoSetAttributeLink(const QString& component, const QString& attribute,
                                    const QString& source) override;
    DeviceStatus DoModifyStrList(const QString& component, const QString& attribute, int first,
                                 const QString& text, int second) override;
    DeviceStatus DoSetAttrMemData(const QString& component, const QString& attribute,
                                  const QByteArray& data) override;
    DeviceStatus DoDelComponent(const QString& component) override;
    DeviceStatus DoDownloadConfig(const QByteArray& text) override;
    DeviceStatus DoConfigFileOperate(uint8_t operation, uint8_t* slot, uint8_t* device,
                                     uint8_t* serial, T_GLOAT_SET* record) override;
    DeviceStatus DoInBoot(int mode) override;

  private:
    int m_waitMs = 10000;
};
