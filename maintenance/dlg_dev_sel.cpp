#include "maintenance/dlg_dev_sel.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSerialPortInfo>

#include "app/common/ip_address_edit.h"
#include "app/common/message_service.h"
#include "app/device/device.h"
#include "app/device/gbk_text.h"

namespace {
QComboBox* MakeList(const QStringList& items, const QString& selected, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->addItems(items);
    box->setCurrentIndex(qMax(0, items.indexOf(selected)));
    return box;
}
}  // namespace

CDlgDevSel::CDlgDevSel(CDevice& device, QWidget* parent) : QDialog(parent), m_device(device) {
    setObjectName(QStringLiteral("CDlgDevSel"));
    setWindowTitle(QStringLiteral("请选择通讯方式"));

    auto* grid = new QGridLayout;
    int row = 0;
    auto* ways = new QButtonGroup(this);
    const QString wayTexts[3] = {QStringLiteral("串口通讯方式(仅点对点)："),
                                 QStringLiteral("USB通讯方式(仅点对点)："),
                                 QStringLiteral("网口通讯(UDP)：")};
    for (int i = 0; i < 3; ++i) {
        m_wayButtons[size_t(i)] = new QRadioButton(wayTexts[i], this);
        ways->addButton(m_wayButtons[size_t(i)], i);
    }

    // Serial: the ports present on this machine; a path or "COMn" may be typed as well.
    QStringList ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports << info.systemLocation();
    m_port = new QComboBox(this);
    m_port->setEditable(true);
    m_port->addItems(ports);
    m_port->setCurrentIndex(ports.isEmpty() ? -1 : 0);
    m_port->setMinimumContentsLength(14);
    m_baud = MakeList({"9600", "19200", "38400", "115200"}, "115200", this);
    m_dataBits = MakeList({"6", "7", "8"}, "8", this);
    m_stopBits = MakeList({"1", "2"}, "1", this);
    m_parity =
        MakeList({QStringLiteral("无校验"), QStringLiteral("奇校验"), QStringLiteral("偶校验")},
                 QStringLiteral("无校验"), this);

    grid->addWidget(m_wayButtons[0], row++, 0, 1, 2);
    const std::pair<const char*, QComboBox*> serialRows[] = {{"串口设备选择：", m_port},
                                                             {"串口波特率：", m_baud},
                                                             {"数据位：", m_dataBits},
                                                             {"停止位：", m_stopBits},
                                                             {"校验位：", m_parity}};
    for (const auto& [label, box] : serialRows) {
        grid->addWidget(new QLabel(QString::fromUtf8(label), this), row, 0, Qt::AlignRight);
        grid->addWidget(box, row++, 1);
    }

    m_usb = new QComboBox(this);
    grid->addWidget(m_wayButtons[1], row++, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("USB设备选择："), this), row, 0, Qt::AlignRight);
    grid->addWidget(m_usb, row++, 1);

    m_addressBox = new CIpAddressEdit(this);
    m_addressBox->setObjectName(QStringLiteral("addressControl"));
    grid->addWidget(m_wayButtons[2], row++, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("IP地址："), this), row, 0, Qt::AlignRight);
    grid->addWidget(m_addressBox, row++, 1);

    m_keyEdit = new QLineEdit(QString::fromLatin1(kDefaultKey), this);
    grid->addWidget(new QLabel(QStringLiteral("秘钥"), this), row, 0, Qt::AlignRight);
    grid->addWidget(m_keyEdit, row++, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgDevSel::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDlgDevSel::reject);

    auto* lay = new QVBoxLayout(this);
    lay->addLayout(grid);
    lay->addWidget(buttons);

    SetAddress(kDefaultAddress);
    connect(ways, &QButtonGroup::idClicked, this, &CDlgDevSel::SelectWay);
    SelectWay(kSerial);
}

void CDlgDevSel::Load() {
    m_usbIndexes.clear();
    m_usb->clear();
    for (int index : m_device.UsbDeviceIndexes()) {
        if (int(m_usbIndexes.size()) >= kMaxUsbDevices) break;
        m_usbIndexes.push_back(index);
        m_usb->addItem(QStringLiteral("Index %1").arg(index));
    }
    if (!m_usbIndexes.empty()) m_usb->setCurrentIndex(0);
    SelectWay(m_usbIndexes.empty() ? kSerial : kUsb);
}

void CDlgDevSel::SetAddress(const std::array<uint8_t, 4>& address) {
    m_addressBox->SetAddress(address);
}

void CDlgDevSel::SelectWay(int way) {
    if (way < kSerial || way > kUdp) return;
    m_way = way;
    m_wayButtons[size_t(way)]->setChecked(true);
    for (QComboBox* box : {m_port, m_baud, m_dataBits, m_stopBits, m_parity})
        box->setEnabled(way == kSerial);
    m_usb->setEnabled(way == kUsb);
    m_addressBox->setEnabled(way == kUdp);
}

void CDlgDevSel::accept() {
    switch (m_way) {
        case kSerial:
            m_deviceIndex = m_port->currentIndex();
            m_linkText = m_port->currentText().trimmed() + QLatin1Char(':') +
                         m_baud->currentText() + QLatin1Char('-') + m_dataBits->currentText() +
                         QLatin1Char('-') + m_stopBits->currentText() + QLatin1Char('-') +
                         m_parity->currentText();
            break;
        case kUsb: {
            int i = m_usb->currentIndex();
            if (i >= 0 && size_t(i) < m_usbIndexes.size()) {
                m_deviceIndex = m_usbIndexes[size_t(i)];
                m_linkText = m_usb->currentText();
            } else {
                m_deviceIndex = -1;  // no controller attached: opening index -1 fails cleanly
                m_linkText.clear();
            }
            break;
        }
        case kUdp:
            m_address = m_addressBox->Address();
            break;
    }
    // The key is 8 single-byte characters (it salts every frame checksum).
    QString key = m_keyEdit->text();
    if (ToGbk(key).size() != 8) {
        CMessageService::Get().Inform(this, QStringLiteral("秘钥应该为8位"));
        return;
    }
    m_key = key;
    m_device.SetKey(key);
    QDialog::accept();
}
