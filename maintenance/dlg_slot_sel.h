// CDlgSlotSel, "槽位选择": picks the flash slot (0-5) into which the running configuration is
// saved. Load() reads the boot slot from the device, marks it and proposes it. User-interface
// thread only.
#pragma once

#include <QDialog>

class CDevice;
class QListWidget;
class QPushButton;

class CDlgSlotSel : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kSlotCount = 6;

    explicit CDlgSlotSel(CDevice& device, QWidget* parent = nullptr);

    // Reads the slot state from the device (the boot slot) and fills the list; a failed read
    // shows "读取全局配置错误!" (over the dialog's parent, the dialog is not shown yet) and
    // leaves the list empty. Returns whether the read succeeded.
    bool Load();

    QListWidget* List() const { return m_listSlots; }
    // The boot slot after initialisation; the selected line after OK; -1 when none.
    int m_nSlot = -1;

    void accept() override;

  private:
    void UpdateOk();
    CDevice& m_device;
    QListWidget* m_listSlots;
    QPushButton* m_ok;
};
