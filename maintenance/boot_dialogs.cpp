#include "maintenance/boot_dialogs.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/common/message_service.h"
#include "app/device/device.h"
#include "app/device/unsolicited_lines.h"
#include "maintenance/serial_ports.h"

namespace {}  // namespace

// --- BootConfig ------------------------------------------------------------------------------

BootConfig::BootConfig(CDevice& device, QWidget* parent) : QDialog(parent), m_dev(device) {
    setObjectName(QStringLiteral("BootConfig"));
    setWindowTitle(QStringLiteral("BOOT配置选项"));
    m_factoryButton = new QRadioButton(QStringLiteral("出厂模式"), this);
    m_factoryButton->setObjectName(QStringLiteral("factoryMode"));
    m_normalButton = new QRadioButton(QStringLiteral("正常模式"), this);
    m_normalButton->setObjectName(QStringLiteral("normalMode"));
    auto* modes = new QButtonGroup(this);
    modes->addButton(m_factoryButton, 0);
    modes->addButton(m_normalButton, 1);
    connect(modes, &QButtonGroup::idClicked, this, [this](int id) { SetNormalMode(id == 1); });

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("confirm"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    connect(ok, &QPushButton::clicked, this, &BootConfig::Confirm);
    connect(cancel, &QPushButton::clicked, this, &BootConfig::reject);

    auto* radios = new QHBoxLayout;
    radios->addWidget(m_factoryButton);
    radios->addWidget(m_normalButton);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(radios);
    lay->addLayout(buttons);
    SetNormalMode(false);
}

void BootConfig::SetNormalMode(bool normal) {
    m_normal = normal;
    (normal ? m_normalButton : m_factoryButton)->setChecked(true);
}

void BootConfig::Confirm() {
    // Any answer counts as done: the boot loader's replies carry no meaningful status.
    bool done = m_dev.InBoot(m_normal ? 3 : 2).Answered();
    QString text;
    if (m_normal)
        text = done ? QStringLiteral("设置普通模式成功 ") : QStringLiteral("设置普通模式失败 ");
    else
        text = done ? QStringLiteral("设置出厂模式成功 ") : QStringLiteral("设置出厂模式失败 ");
    CMessageService::Get().Inform(this, text);
}

// --- BootCtrlDlg -----------------------------------------------------------------------------

BootCtrlDlg::BootCtrlDlg(CDevice& device, QWidget* parent) : QDialog(parent), m_dev(device) {
    setObjectName(QStringLiteral("BootCtrlDlg"));
    setWindowTitle(QStringLiteral("选择通信模式进入boot"));

    m_usbButton = new QRadioButton(QStringLiteral("USB"), this);
    m_usbButton->setObjectName(QStringLiteral("usbWay"));
    m_serialButton = new QRadioButton(QStringLiteral("串口"), this);
    m_serialButton->setObjectName(QStringLiteral("serialWay"));
    auto* ways = new QButtonGroup(this);
    ways->addButton(m_serialButton, kSerial);
    ways->addButton(m_usbButton, kUsb);
    connect(ways, &QButtonGroup::idClicked, this, &BootCtrlDlg::SelectWay);

    m_usb = new QComboBox(this);
    m_usb->setObjectName(QStringLiteral("usbList"));
    // The ports of this machine; a path or "COMn" may be typed as well.
    m_port = new QComboBox(this);
    m_port->setObjectName(QStringLiteral("portList"));
    m_port->setEditable(true);
    m_port->setMinimumContentsLength(14);
    m_port->addItems(SerialPortNames());
    m_port->setCurrentIndex(m_port->count() ? 0 : -1);

    m_enter = new QPushButton(QStringLiteral("进入boot"), this);
    m_enter->setObjectName(QStringLiteral("enterBoot"));
    m_enter->setDefault(true);
    m_leave = new QPushButton(QStringLiteral("退出boot"), this);
    m_leave->setObjectName(QStringLiteral("leaveBoot"));
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    connect(m_enter, &QPushButton::clicked, this, [this] { EnterBoot(); });
    connect(m_leave, &QPushButton::clicked, this, [this] { LeaveBoot(); });
    connect(cancel, &QPushButton::clicked, this, &BootCtrlDlg::reject);

    auto* grid = new QGridLayout;
    grid->addWidget(m_usbButton, 0, 0);
    grid->addWidget(m_usb, 0, 1);
    grid->addWidget(m_serialButton, 1, 0);
    grid->addWidget(m_port, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_enter);
    buttons->addWidget(m_leave);
    buttons->addStretch();
    buttons->addWidget(cancel);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(grid);
    lay->addLayout(buttons);
    SelectWay(kSerial);
}

void BootCtrlDlg::Load() {
    m_usbIndexes = m_dev.UsbDeviceIndexes();
    if (m_usbIndexes.size() > size_t(kMaxUsbDevices)) m_usbIndexes.resize(kMaxUsbDevices);
    m_usb->clear();
    for (int index : m_usbIndexes) m_usb->addItem(QStringLiteral("Index %1").arg(index));
    if (!m_usbIndexes.empty()) {
        m_usb->setCurrentIndex(0);
        SelectWay(kUsb);
    } else {
        SelectWay(kSerial);
    }
}

void BootCtrlDlg::SelectWay(int way) {
    if (way != kSerial && way != kUsb) return;
    m_way = way;
    WayButton(way)->setChecked(true);
}

QString BootCtrlDlg::SerialInitText(const QString& port) {
    return port.trimmed() + QStringLiteral(":115200-8-1-0");
}

std::vector<std::pair<int, QString>> BootCtrlDlg::MessageLines(const QByteArray& message) {
    return UnsolicitedLines(message);
}

bool BootCtrlDlg::EnterBoot() {
    CMessageService& service = CMessageService::Get();
    if (m_way == kSerial) {
        if (!m_dev.OpenSerial(SerialInitText(m_port->currentText()))) {
            service.Inform(this, QStringLiteral("初始化串口出错！"));
            return false;
        }
    } else {
        int i = m_usb->currentIndex();
        int index = i >= 0 && size_t(i) < m_usbIndexes.size() ? m_usbIndexes[size_t(i)] : 0;
        if (!m_dev.OpenUsb(index)) {
            service.Inform(this, QStringLiteral("初始化USB口出错！"));
            return false;
        }
    }
    CDevice* device = &m_dev;
    m_dev.SetMessageHandler([device](const QByteArray& message) {
        for (const auto& [level, text] : MessageLines(message)) device->Log(level, text);
    });
    // Any answer counts: the boot loader's replies carry no meaningful status.
    if (!m_dev.InBoot(0).Answered()) {
        service.Inform(this, QStringLiteral("进入boot失败 "));
        return false;
    }
    BootConfig config(m_dev, this);
    service.Run(config);
    return true;
}

bool BootCtrlDlg::LeaveBoot() {
    CMessageService& service = CMessageService::Get();
    if (!m_dev.InBoot(1).Answered()) {
        service.Inform(
            this, QStringLiteral("退出Boot模式失败,请确认设备是否处于BOOT模式或通讯是否有故障"));
        return false;
    }
    service.Inform(this, QStringLiteral("退出Boot模式成功"));
    accept();
    return true;
}
