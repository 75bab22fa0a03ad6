// CDialogGloableSet, "全局参数设置": shows and edits the controller's startup parameters (the
// communication device and serial settings used at power-up, the network addresses and ports,
// the access key, the stored configuration it loads). Load() reads them (configuration
// operation 4); OK writes them (operation 5); they take effect when the controller restarts.
// User-interface thread only.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>

#include "kvsh_user.h"

class CDevice;
class CIpAddressEdit;
class QComboBox;
class QLineEdit;

class CDialogGloableSet : public QDialog {
    Q_OBJECT
  public:
    explicit CDialogGloableSet(CDevice& device, QWidget* parent = nullptr);

    // Reads the parameters and shows them. On failure shows "读取全局配置错误!", leaves the
    // controls without values and returns false.
    bool Load();

    // OK: refuses a key that is not 8 characters (the dialog stays open, nothing is sent);
    // otherwise writes, reports and closes.
    void accept() override;

    QComboBox* DeviceList() const { return m_deviceList; }
    QComboBox* BaudList() const { return m_baud; }
    QComboBox* DataBitsList() const { return m_dataBits; }
    QComboBox* StopBitsList() const { return m_stopBits; }
    QComboBox* ParityList() const { return m_parity; }
    QComboBox* SlotList() const { return m_slot; }
    // 0 device IP, 1 subnet mask, 2 gateway, 3 remote server IP.
    CIpAddressEdit* AddressEdit(int i) const { return m_addresses[size_t(i)]; }
    // 0 client, 1 server, 2 Modbus, 3 server listen port.
    QLineEdit* PortEdit(int i) const { return m_ports[size_t(i)]; }
    QLineEdit* KeyEdit() const { return m_key; }

  private:
    CDevice& m_dev;
    uint8_t m_serialRead = 0;  // the serial byte as read, for fields the lists cannot show
    uint8_t m_slotRead = 0;
    uint8_t m_deviceRead = 0;

    QComboBox* m_deviceList;
    QComboBox* m_baud;
    QComboBox* m_dataBits;
    QComboBox* m_stopBits;
    QComboBox* m_parity;
    QComboBox* m_slot;
    std::array<CIpAddressEdit*, 4> m_addresses{};
    std::array<QLineEdit*, 4> m_ports{};
    QLineEdit* m_key;
};
