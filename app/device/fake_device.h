// A scripted stand-in for the device, for tests that want to see exactly which requests a
// pane makes and in which order, or a device that refuses or falls silent on cue. Values are
// looked up by "component/attribute"; writes are recorded as "SetAttributeVal comp.attr=value"
// lines (and similar) in the order they were made.
#pragma once

#include <QHash>
#include <QStringList>

#include "app/device/device.h"

class CFakeDevice : public CDevice {
  public:
    // --- script ---------------------------------------------------------------------------
    void SetValue(const QString& component, const QString& attribute, const QString& value) {
        m_values[component + '/' + attribute] = value;
    }
    QString Value(const QString& component, const QString& attribute) const {
        return m_values.value(component + '/' + attribute);
    }
    // The reply of commands 1, 2, 3 and 12 ("" for the tree, or the component name).
    void SetRecords(int command, const QString& component, const QByteArray& reply) {
        m_records[QString::number(command) + '/' + component] = reply;
    }
    void SetUpload(const QByteArray& text) { m_upload = text; }
    // After this many further requests every request gets no answer (-1: never).
    void FallSilentAfter(int requests) { m_silentAfter = requests; }
    // Writes to this "component.attribute" are refused with status 1.
    void Refuse(const QString& name) { m_refused << name; }

    // --- what happened --------------------------------------------------------------------
    QStringList m_log;      // every request, in order
    int m_requests = 0;     // requests that reached the device
    QStringList m_printed;  // Log() lines

    // --- link -----------------------------------------------------------------------------
    void SetKey(const QString& key) override { m_key = key; }
    bool OpenSerial(const QString&) override { return m_open = true; }
    bool OpenUsb(int) override { return m_open = true; }
    bool OpenUdp(const std::array<uint8_t, 4>&) override { return m_open = true; }
    void Close() override { m_open = false; }
    std::vector<int> UsbDeviceIndexes() override { return m_usbIndexes; }
    void SetMessageHandler(std::function<void(const QByteArray&)> handler) override {
        m_handler = std::move(handler);
    }
    void SetLogReceiver(DeviceLogReceiver receiver) override {
        m_logReceiver = std::move(receiver);
    }
    void SetRequestWait(int ms) override { m_wait = ms; }
    int RequestWait() const override { return m_wait; }
    void Log(int level, const QString& text) override {
        m_printed << text;
        if (m_logReceiver) m_logReceiver(unsigned(level), QStringLiteral("00:00:00"), text);
    }
    // Delivers an unsolicited message as the receive thread would.
    void Deliver(const QByteArray& message) {
        if (m_handler) m_handler(message);
    }

  protected:
    DeviceStatus DoKey(const QString&) override { return Answer(QStringLiteral("Key")); }
    DeviceResult<QByteArray> DoRecords(int command, const QString& component,
                                       const QString&) override {
        DeviceResult<QByteArray> r;
        Set(r, Answer(QStringLiteral("Records %1 %2").arg(command).arg(component)));
        auto it = m_records.find(QString::number(command) + '/' + component);
        if (r.Ok() && it != m_records.end()) r.value = *it;
        if (r.Ok() && it == m_records.end()) r.outcome = DeviceOutcome::Refused, r.status = 1;
        return r;
    }
    DeviceResult<QString> DoText(int command, const QString& a, const QString& b) override {
        DeviceResult<QString> r;
        Set(r, Answer(QStringLiteral("Text %1 %2.%3").arg(command).arg(a, b)));
        if (!r.Ok()) return r;
        if (command == 10) {
            r.value = a + QStringLiteral("-%1").arg(++m_created);
            return r;
        }
        auto it = m_values.find(a + '/' + b);
        if (it == m_values.end()) {
            r.outcome = DeviceOutcome::Refused;
            r.status = 1;
        } else {
            r.value = *it;
        }
        return r;
    }
    DeviceResult<QString> DoGetBatchAttrVal(const QString& names, int) override {
        DeviceResult<QString> r;
        Set(r, Answer(QStringLiteral("GetBatch ") + names));
        if (!r.Ok()) return r;
        for (const QString& n : names.split(';', Qt::SkipEmptyParts)) {
            int dot = n.lastIndexOf('.');
            r.value += m_values.value(n.left(dot) + '/' + n.mid(dot + 1)) + ';';
        }
        return r;
    }
    DeviceResult<QByteArray> DoGetAttrMemData(const QString& c, const QString& a) override {
        DeviceResult<QByteArray> r;
        Set(r, Answer(QStringLiteral("GetMem %1.%2").arg(c, a)));
        if (r.Ok()) r.value = m_values.value(c + '/' + a).toLatin1();
        return r;
    }
    DeviceResult<QByteArray> DoUploadConfig() override {
        DeviceResult<QByteArray> r;
        Set(r, Answer(QStringLiteral("Upload")));
        if (r.Ok()) r.value = m_upload;
        return r;
    }
    DeviceStatus DoSetAttributeVal(const QString& c, const QString& a, const QString& v,
                                   bool) override {
        DeviceStatus s =
            Answer(QStringLiteral("SetAttributeVal %1.%2=%3").arg(c, a, v), c + '.' + a);
        if (s.Ok()) m_values[c + '/' + a] = v;
        return s;
    }
    DeviceStatus DoSetBatchAttrVal(const QString& n, const QString& v, int, bool) override {
        return Answer(QStringLiteral("SetBatch %1=%2").arg(n, v));
    }
    DeviceStatus DoSetAttributeLink(const QString& c, const QString& a,
                                    const QString& source) override {
        return Answer(QStringLiteral("SetAttributeLink %1.%2=%3").arg(c, a, source), c + '.' + a);
    }
    DeviceStatus DoModifyStrList(const QString& c, const QString& a, int first, const QString& t,
                                 int second) override {
        return Answer(
            QStringLiteral("ModifyStrList %1.%2 %3 %4 %5").arg(c, a).arg(first).arg(t).arg(second));
    }
    DeviceStatus DoSetAttrMemData(const QString& c, const QString& a, const QByteArray&) override {
        return Answer(QStringLiteral("SetMem %1.%2").arg(c, a), c + '.' + a);
    }
    DeviceStatus DoDelComponent(const QString& c) override {
        return Answer(QStringLiteral("DelComponent ") + c, c);
    }
    DeviceStatus DoDownloadConfig(const QByteArray&) override {
        return Answer(QStringLiteral("Download"));
    }
    DeviceStatus DoConfigFileOperate(uint8_t op, uint8_t*, uint8_t*, uint8_t*,
                                     T_GLOAT_SET*) override {
        return Answer(QStringLiteral("ConfigFileOperate %1").arg(op));
    }
    DeviceStatus DoInBoot(int mode) override {
        return Answer(QStringLiteral("InBoot %1").arg(mode));
    }

  private:
    template <class R>
    static void Set(R& r, const DeviceStatus& s) {
        static_cast<DeviceStatus&>(r) = s;
    }
    DeviceStatus Answer(const QString& line, const QString& name = QString()) {
        m_log << line;
        DeviceStatus s;
        if (!m_open) return s;  // NotSent
        if (m_silentAfter == 0) {
            s.outcome = DeviceOutcome::NoAnswer;
            return s;
        }
        if (m_silentAfter > 0) --m_silentAfter;
        ++m_requests;
        if (!name.isEmpty() && m_refused.contains(name)) {
            s.outcome = DeviceOutcome::Refused;
            s.status = 1;
            return s;
        }
        s.outcome = DeviceOutcome::Done;
        return s;
    }

    QHash<QString, QString> m_values;
    QHash<QString, QByteArray> m_records;
    QByteArray m_upload;
    QStringList m_refused;
    std::function<void(const QByteArray&)> m_handler;
    DeviceLogReceiver m_logReceiver;
    int m_silentAfter = -1;
    int m_created = 0;
    int m_wait = 10000;

  public:
    bool m_open = true;             // a fake starts connected
    QString m_key;                  // the last key set
    std::vector<int> m_usbIndexes;  // the USB controllers it reports
};
