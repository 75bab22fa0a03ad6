#include "maintenance/dlg_slot_sel.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/common/message_service.h"
#include "app/device/device.h"
#include "kvsh_vocab.h"

CDlgSlotSel::CDlgSlotSel(CDevice& device, QWidget* parent) : QDialog(parent), m_device(device) {
    setObjectName(QStringLiteral("CDlgSlotSel"));
    setWindowTitle(QStringLiteral("槽位选择"));
    m_listSlots = new QListWidget(this);
    m_listSlots->setObjectName(QStringLiteral("slotList"));
    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    m_ok->setDefault(true);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgSlotSel::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDlgSlotSel::reject);
    connect(m_listSlots, &QListWidget::currentRowChanged, this, [this](int) { UpdateOk(); });
    connect(m_listSlots, &QListWidget::itemDoubleClicked, this, [this] { accept(); });

    auto* lay = new QVBoxLayout(this);
    lay->addWidget(new QLabel(QStringLiteral("请选择目标槽位:"), this));
    lay->addWidget(m_listSlots);
    lay->addWidget(buttons);
    resize(285, 225);
    UpdateOk();
}

bool CDlgSlotSel::Load() {
    m_listSlots->clear();
    m_nSlot = -1;
    uint8_t boot = 0, device = 0, serial = 0;
    bool read =
        m_device.ConfigFileOperate(KVS_CONFIG_READ_SETTINGS, &boot, &device, &serial, nullptr).Ok();
    if (!read) {
        QWidget* owner = parentWidget() ? parentWidget() : this;
        CMessageService::Get().Inform(owner, QStringLiteral("读取全局配置错误!"));
    } else {
        for (int slot = 0; slot < kSlotCount; ++slot) {
            QString text = slot == boot ? QStringLiteral("配置文件槽位%1  (启动槽位)").arg(slot)
                                        : QStringLiteral("配置文件槽位%1  ").arg(slot);
            m_listSlots->addItem(text);
        }
        // A boot slot outside 0-5 selects no line: the user must choose one.
        if (boot < kSlotCount) {
            m_listSlots->setCurrentRow(boot);
            m_nSlot = boot;
        }
    }
    UpdateOk();
    return read;
}

void CDlgSlotSel::UpdateOk() {
    // Nothing selected, nothing to save into: OK stays disabled.
    m_ok->setEnabled(m_listSlots->currentRow() >= 0);
}

void CDlgSlotSel::accept() {
    m_nSlot = m_listSlots->currentRow();
    if (m_nSlot < 0) return;
    QDialog::accept();
}
