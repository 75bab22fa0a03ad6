#include "maintenance/dialog_gloable_set.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <cstring>

#include "app/common/ip_address_edit.h"
#include "app/common/message_service.h"
#include "app/device/device.h"
#include "app/device/gbk_text.h"
#include "maintenance/global_settings.h"

namespace gs = global_settings;

namespace {
QComboBox* MakeList(const char* name, const QStringList& items, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->addItems(items);
    return box;
}

std::array<uint8_t, 4> Bytes(const uint8_t (&a)[4]) { return {a[0], a[1], a[2], a[3]}; }
}  // namespace

CDialogGloableSet::CDialogGloableSet(CDevice& device, QWidget* parent)
    : QDialog(parent), m_dev(device) {
    setObjectName(QStringLiteral("CDialogGloableSet"));
    setWindowTitle(QStringLiteral("全局参数设置"));

    m_deviceList = MakeList("device", gs::DeviceItems(), this);
    m_baud = MakeList("baud", gs::BaudItems(), this);
    m_dataBits = MakeList("dataBits", gs::DataBitsItems(), this);
    m_stopBits = MakeList("stopBits", gs::StopBitsItems(), this);
    m_parity = MakeList("parity", gs::ParityItems(), this);
    m_slot = MakeList("slot", gs::SlotItems(), this);
    m_slot->setCurrentIndex(0);
    // Nothing is shown until the parameters have been read.
    for (QComboBox* box : {m_deviceList, m_baud, m_dataBits, m_stopBits, m_parity})
        box->setCurrentIndex(-1);

    const char* addressNames[4] = {"deviceIp", "subnetMask", "gateway", "remoteServerIp"};
    for (int i = 0; i < 4; ++i) {
        m_addresses[size_t(i)] = new CIpAddressEdit(this);
        m_addresses[size_t(i)]->setObjectName(QString::fromLatin1(addressNames[i]));
    }
    const char* portNames[4] = {"clientPort", "serverPort", "modbusPort", "serverListenPort"};
    auto* number =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?\\d{0,10}")), this);
    for (int i = 0; i < 4; ++i) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(portNames[i]));
        edit->setValidator(number);
        m_ports[size_t(i)] = edit;
    }
    m_key = new QLineEdit(this);
    m_key->setObjectName(QStringLiteral("key"));

    auto* group = new QGroupBox(QStringLiteral("KVS启动参数"), this);
    auto* grid = new QGridLayout(group);
    auto row = [&](int r, int column, const QString& label, QWidget* control) {
        grid->addWidget(new QLabel(label, group), r, column * 2, Qt::AlignRight);
        grid->addWidget(control, r, column * 2 + 1);
    };
    row(0, 0, QStringLiteral("通讯设备选择："), m_deviceList);
    row(1, 0, QStringLiteral("串口波特率："), m_baud);
    row(2, 0, QStringLiteral("串口数据位："), m_dataBits);
    row(3, 0, QStringLiteral("串口停止位："), m_stopBits);
    row(4, 0, QStringLiteral("串口校验位："), m_parity);
    row(5, 0, QStringLiteral("启动配置文件选择："), m_slot);
    row(6, 0, QStringLiteral("秘钥："), m_key);
    row(0, 1, QStringLiteral("设备IP："), m_addresses[0]);
    row(1, 1, QStringLiteral("子网掩码："), m_addresses[1]);
    row(2, 1, QStringLiteral("默认网关："), m_addresses[2]);
    row(3, 1, QStringLiteral("客户端端口号："), m_ports[0]);
    row(4, 1, QStringLiteral("服务端端口号："), m_ports[1]);
    row(5, 1, QStringLiteral("ModBus端口号："), m_ports[2]);
    row(6, 1, QStringLiteral("远端服务器IP:"), m_addresses[3]);
    row(7, 1, QStringLiteral("服务器监听端口号："), m_ports[3]);
    grid->setColumnMinimumWidth(2, 16);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CDialogGloableSet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDialogGloableSet::reject);

    auto* lay = new QVBoxLayout(this);
    lay->addWidget(group);
    lay->addWidget(buttons);
}

bool CDialogGloableSet::Load() {
    uint8_t slot = 0, way = 0, serial = 0;
    T_GLOAT_SET record{};
    if (!m_dev.ConfigFileOperate(4, &slot, &way, &serial, &record).Ok()) {
        CMessageService::Get().Inform(this, QStringLiteral("读取全局配置错误!"));
        return false;
    }
    m_slotRead = slot;
    m_deviceRead = way;
    m_serialRead = serial;
    m_deviceList->setCurrentIndex(way < m_deviceList->count() ? way : -1);
    m_slot->setCurrentIndex(slot < m_slot->count() ? slot : -1);
    const gs::SerialPositions p = gs::PositionsFromSerialByte(serial);
    m_baud->setCurrentIndex(p.baud);
    m_dataBits->setCurrentIndex(p.dataBits);
    m_stopBits->setCurrentIndex(p.stopBits);
    m_parity->setCurrentIndex(p.parity);

    m_addresses[0]->SetAddress(Bytes(record.deviceIp));
    m_addresses[1]->SetAddress(Bytes(record.subnetMask));
    m_addresses[2]->SetAddress(Bytes(record.gateway));
    m_addresses[3]->SetAddress(Bytes(record.remoteServerIp));
    const uint32_t ports[4] = {record.clientPort, record.serverPort, record.modbusPort,
                               record.serverListenPort};
    for (size_t i = 0; i < 4; ++i) m_ports[i]->setText(gs::PortText(ports[i]));
    // The key has no terminator; a shorter key ends at its first NUL.
    m_key->setText(FromGbk(record.key, qsizetype(sizeof record.key)));
    return true;
}

void CDialogGloableSet::accept() {
    CMessageService& service = CMessageService::Get();
    uint8_t slot = m_slot->currentIndex() >= 0 ? uint8_t(m_slot->currentIndex()) : m_slotRead;
    uint8_t way =
        m_deviceList->currentIndex() >= 0 ? uint8_t(m_deviceList->currentIndex()) : m_deviceRead;
    gs::SerialPositions p;
    p.baud = m_baud->currentIndex();
    p.dataBits = m_dataBits->currentIndex();
    p.stopBits = m_stopBits->currentIndex();
    p.parity = m_parity->currentIndex();
    uint8_t serial = gs::SerialByteFromPositions(p, m_serialRead);

    T_GLOAT_SET record{};
    uint8_t* targets[4] = {record.deviceIp, record.subnetMask, record.gateway,
                           record.remoteServerIp};
    for (size_t i = 0; i < 4; ++i) std::memcpy(targets[i], m_addresses[i]->Address().data(), 4);
    record.clientPort = gs::PortValue(m_ports[0]->text());
    record.serverPort = gs::PortValue(m_ports[1]->text());
    record.modbusPort = gs::PortValue(m_ports[2]->text());
    record.serverListenPort = gs::PortValue(m_ports[3]->text());

    // The record holds exactly 8 bytes: a character that needs two bytes would not fit.
    const QString key = m_key->text();
    const QByteArray keyBytes = ToGbk(key);
    if (key.size() != 8 || keyBytes.size() != 8) {
        service.Inform(this, QStringLiteral("秘钥修改失败，秘钥必须为8位！！"));
        return;
    }
    std::memcpy(record.key, keyBytes.constData(), 8);

    bool saved = m_dev.ConfigFileOperate(5, &slot, &way, &serial, &record).Ok();
    service.Inform(this, saved ? QStringLiteral("KVS启动参数改变，重启动后该参数生效!")
                               : QStringLiteral("保存全局配置错误!"));
    QDialog::accept();
}
