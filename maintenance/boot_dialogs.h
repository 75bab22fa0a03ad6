// The boot-loader dialogs. BootCtrlDlg, "选择通信模式进入boot": opens a link of its own over
// USB or a serial port (115200 baud, 8 data bits, one stop bit, no parity), takes the
// controller's unsolicited messages, and asks it to enter its boot loader; on success it shows
// BootConfig, "BOOT配置选项", which sets factory or normal mode. "退出boot" leaves the boot
// loader. The link stays open when the dialogs close; the next connect replaces it.
//
// Threads: the dialogs run on the user-interface thread. The message handler they install
// runs on the library's receive thread and only logs through the device (the library's log is
// safe from any thread); the device must outlive the link.
#pragma once

#include <QDialog>
#include <utility>
#include <vector>

class CDevice;
class QComboBox;
class QPushButton;
class QRadioButton;

class BootConfig : public QDialog {
    Q_OBJECT
  public:
    explicit BootConfig(CDevice& device, QWidget* parent = nullptr);

    // false: factory mode (the default), true: normal mode.
    bool NormalMode() const { return m_normal; }
    void SetNormalMode(bool normal);
    // "确定": sets the chosen mode on the controller and reports it; the dialog stays open.
    void Confirm();

    QRadioButton* FactoryButton() const { return m_factoryButton; }
    QRadioButton* NormalButton() const { return m_normalButton; }

  private:
    CDevice& m_dev;
    bool m_normal = false;
    QRadioButton* m_factoryButton;
    QRadioButton* m_normalButton;
};

class BootCtrlDlg : public QDialog {
    Q_OBJECT
  public:
    enum Way { kSerial = 0, kUsb = 1 };
    static constexpr int kMaxUsbDevices = 16;

    explicit BootCtrlDlg(CDevice& device, QWidget* parent = nullptr);

    // Lists the attached USB controllers; with at least one, the USB way is chosen.
    void Load();
    void SelectWay(int way);
    int Way() const { return m_way; }

    // "进入boot": opens the chosen link, installs the boot message handler, asks for the boot
    // loader and, when the controller answers, shows BootConfig. True when it answered.
    bool EnterBoot();
    // "退出boot": leaves the boot loader; on success the dialog closes.
    bool LeaveBoot();

    // The serial initialisation text for a port name.
    static QString SerialInitText(const QString& port);
    // The log lines (level, text) of one unsolicited message, as the boot link shows them.
    static std::vector<std::pair<int, QString>> MessageLines(const QByteArray& message);

    QComboBox* PortList() const { return m_port; }
    QComboBox* UsbList() const { return m_usb; }
    QRadioButton* WayButton(int way) const { return way == kUsb ? m_usbButton : m_serialButton; }
    QPushButton* EnterButton() const { return m_enter; }
    QPushButton* LeaveButton() const { return m_leave; }
    const std::vector<int>& UsbIndexes() const { return m_usbIndexes; }

  private:
    CDevice& m_dev;
    int m_way = kSerial;
    std::vector<int> m_usbIndexes;
    QRadioButton* m_usbButton;
    QRadioButton* m_serialButton;
    QComboBox* m_usb;
    QComboBox* m_port;
    QPushButton* m_enter;
    QPushButton* m_leave;
};
