// CDlgDevSel, "请选择通讯方式": the connection dialog. The user picks serial, USB or UDP, that
// way's settings and the 8-character access key; OK sets the device layer's key byte and leaves
// the choice in the dialog for the connect command. Load() lists the USB controllers (after
// construction, before the dialog is shown). User-interface thread only.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <vector>

class CDevice;
class CIpAddressEdit;
class QComboBox;
class QLineEdit;
class QRadioButton;

class CDlgDevSel : public QDialog {
    Q_OBJECT
  public:
    enum Way { kSerial = 0, kUsb = 1, kUdp = 2 };
    static constexpr const char* kDefaultKey = "62719405";
    static constexpr std::array<uint8_t, 4> kDefaultAddress = {192, 168, 1, 10};
    static constexpr int kMaxUsbDevices = 16;

    explicit CDlgDevSel(CDevice& device, QWidget* parent = nullptr);

    // Lists the attached USB controllers and opens on the USB way when there is one, on the
    // serial way otherwise.
    void Load();

    // The choice after OK.
    int Way() const { return m_way; }
    const QString& LinkText() const { return m_linkText; }
    int DeviceIndex() const { return m_deviceIndex; }
    const std::array<uint8_t, 4>& Address() const { return m_address; }
    const QString& Key() const { return m_key; }
    const std::vector<int>& UsbIndexes() const { return m_usbIndexes; }

    // Selects a way as the radio buttons do, enabling only what that way uses.
    void SelectWay(int way);
    void SetAddress(const std::array<uint8_t, 4>& address);

    // The controls, for tests and for callers that preset them.
    QComboBox* PortList() const { return m_port; }
    QComboBox* BaudList() const { return m_baud; }
    QComboBox* DataBitsList() const { return m_dataBits; }
    QComboBox* StopBitsList() const { return m_stopBits; }
    QComboBox* ParityList() const { return m_parity; }
    QComboBox* UsbList() const { return m_usb; }
    QLineEdit* KeyEdit() const { return m_keyEdit; }
    QRadioButton* WayButton(int way) const { return m_wayButtons[size_t(way)]; }
    CIpAddressEdit* AddressControl() const { return m_addressBox; }

    // OK: keeps the way's values; refuses a key that is not 8 characters ("秘钥应该为8位").
    void accept() override;

  private:
    CDevice& m_device;
    int m_way = kSerial;
    QString m_linkText;
    int m_deviceIndex = 0;
    std::array<uint8_t, 4> m_address = kDefaultAddress;
    QString m_key;
    std::vector<int> m_usbIndexes;

    std::array<QRadioButton*, 3> m_wayButtons{};
    QComboBox* m_port;
    QComboBox* m_baud;
    QComboBox* m_dataBits;
    QComboBox* m_stopBits;
    QComboBox* m_parity;
    QComboBox* m_usb;
    CIpAddressEdit* m_addressBox;
    QLineEdit* m_keyEdit;
};
