#include "browser/dialog_sel_attr.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/common/icons.h"
#include "app/common/message_service.h"
#include "app/device/device.h"
#include "browser/dialog_event_set.h"
#include "browser/reply_records.h"

namespace {
const QString kManager = QStringLiteral("组件管理器");
const QString kLinkType = QStringLiteral("槽位连接线");

QPushButton* Button(const QString& text, const char* name, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}
}  // namespace

CDialogSelAttr::CDialogSelAttr(CDevice& device, const QString& initial, uint32_t typeMask,
                               int maximum, bool askCondition, QWidget* parent)
    : QDialog(parent),
      m_device(device),
      m_initial(initial),
      m_mask(typeMask),
      m_maximum(maximum),
      m_askCondition(askCondition),
      m_tree(new QTreeWidget(this)),
      m_attributes(new QListWidget(this)),
      m_result(new QListWidget(this)) {
    setObjectName(QStringLiteral("CDialogSelAttr"));
    setWindowTitle(QStringLiteral("选择属性"));
    m_tree->setObjectName(QStringLiteral("componentTree"));
    m_tree->setHeaderHidden(true);
    m_tree->setIconSize(QSize(16, 16));
    m_attributes->setObjectName(QStringLiteral("attributeList"));
    m_result->setObjectName(QStringLiteral("resultList"));

    QPushButton* add = Button(QStringLiteral("=>"), "addButton", this);
    QPushButton* remove = Button(QStringLiteral("<="), "removeButton", this);
    QPushButton* cancel = Button(QStringLiteral("取消"), "cancelButton", this);
    QPushButton* ok = Button(QStringLiteral("确定"), "okButton", this);
    ok->setDefault(true);

    auto* moves = new QVBoxLayout;
    moves->addStretch();
    moves->addWidget(add);
    moves->addWidget(remove);
    moves->addStretch();

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("选择组件："), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("选择属性:"), this), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("选择结果："), this), 0, 3);
    grid->addWidget(m_tree, 1, 0);
    grid->addWidget(m_attributes, 1, 1);
    grid->addLayout(moves, 1, 2);
    grid->addWidget(m_result, 1, 3);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(cancel);
    bottom->addWidget(ok);

    auto* lay = new QVBoxLayout(this);
    lay->addLayout(grid, 1);
    lay->addLayout(bottom);
    resize(640, 400);

    connect(add, &QPushButton::clicked, this, &CDialogSelAttr::Add);
    connect(remove, &QPushButton::clicked, this, &CDialogSelAttr::Remove);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { ShowAttributes(current); });
}

bool CDialogSelAttr::Admits(uint32_t mask, int type) {
    // Types beyond the mask's bits pass only a mask that admits everything.
    if (type < 0 || type >= 32) return mask == kAllTypes;
    return mask & (1u << type);
}

QStringList CDialogSelAttr::SplitEntries(const QString& list) {
    QStringList entries = list.split(';');
    entries.removeLast();  // the text after the last ";" (often empty)
    return entries;
}

bool CDialogSelAttr::Load() {
    m_tree->clear();
    m_result->clear();
    m_result->addItems(SplitEntries(m_initial));

    DeviceResult<QByteArray> reply = m_device.ComponentTree();
    if (!reply.Ok()) return false;
    auto* root = new QTreeWidgetItem(QStringList(kManager));
    root->setIcon(0, TreeIcon(IMG_ROOT));
    ForEachRecord(reply.value, [root](const KVS_RECORD& rec) {
        if (rec.kind != KVS_KIND_INSTANCE) return;
        const QString name = RecordText(rec, 0);
        if (name.contains(kLinkType)) return;  // slot links are components too, never offered
        auto* item = new QTreeWidgetItem(root, QStringList(name));
        item->setIcon(0, TreeIcon(rec.flag ? IMG_INSTANCE_ALT : IMG_INSTANCE));
    });
    m_tree->addTopLevelItem(root);
    root->setExpanded(true);
    return true;
}

void CDialogSelAttr::ShowAttributes(QTreeWidgetItem* item) {
    m_attributes->clear();
    if (!item) return;
    const QString component = item->text(0);
    CDeviceOperation operation(m_device, QStringLiteral("读取属性"));
    auto addAdmitted = [this](const QByteArray& reply) {
        ForEachRecord(reply, [this](const KVS_RECORD& rec) {
            if (rec.kind == KVS_KIND_ATTRIBUTE && Admits(m_mask, int(rec.type)))
                m_attributes->addItem(RecordText(rec, 0));
        });
    };
    DeviceResult<QByteArray> attrs = m_device.ComponentAttrInfo(component);
    if (!attrs.Ok()) return;
    addAdmitted(attrs.value);
    DeviceResult<QByteArray> slotInfo = m_device.ComponentSlotInfo(component);
    if (slotInfo.Ok()) addAdmitted(slotInfo.value);
}

void CDialogSelAttr::Add() {
    if (m_result->count() >= m_maximum) {
        CMessageService::Get().Inform(this, QStringLiteral("属性项超过最高限定!"));
        return;
    }
    QTreeWidgetItem* component = m_tree->currentItem();
    QListWidgetItem* attribute = m_attributes->currentItem();
    if (!component || !attribute) return;
    QString entry = component->text(0) + '.' + attribute->text();
    if (m_askCondition) {
        CDialogEventSet condition(this);
        if (CMessageService::Get().Run(condition) != QDialog::Accepted) return;
        entry += condition.Condition();
    }
    m_result->addItem(entry);  // duplicates are allowed
}

void CDialogSelAttr::Remove() {
    if (QListWidgetItem* item = m_result->currentItem()) delete item;
}

QStringList CDialogSelAttr::Entries() const {
    QStringList entries;
    for (int i = 0; i < m_result->count(); ++i) entries << m_result->item(i)->text();
    return entries;
}

QString CDialogSelAttr::Result() const {
    QString result;
    for (const QString& e : Entries()) result += e + ';';
    return result;
}
