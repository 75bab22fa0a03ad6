#include "browser/dialog_event_set.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

CDialogEventSet::CDialogEventSet(QWidget* parent)
    : QDialog(parent),
      m_onChange(new QRadioButton(QStringLiteral("当属性值变化时产生事件"))),
      m_equals(new QRadioButton(QStringLiteral("当属性值等于目标值时产生事件"))),
      m_target(new QLineEdit) {
    setObjectName(QStringLiteral("CDialogEventSet"));
    setWindowTitle(QStringLiteral("选择事件发生机制"));
    m_onChange->setObjectName(QStringLiteral("onChange"));
    m_equals->setObjectName(QStringLiteral("equalsTarget"));
    m_target->setObjectName(QStringLiteral("targetValue"));

    auto* group = new QGroupBox(QStringLiteral("事件类型选择"), this);
    auto* groupLay = new QVBoxLayout(group);
    groupLay->addWidget(m_onChange);
    groupLay->addWidget(m_equals);
    auto* targetRow = new QHBoxLayout;
    targetRow->addWidget(new QLabel(QStringLiteral("目标值："), this));
    targetRow->addWidget(m_target, 1);
    groupLay->addLayout(targetRow);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    ok->setObjectName(QStringLiteral("okButton"));
    cancel->setObjectName(QStringLiteral("cancelButton"));
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* lay = new QVBoxLayout(this);
    lay->addWidget(group);
    lay->addWidget(buttons);

    m_onChange->setChecked(true);
    m_target->setEnabled(false);
    connect(m_equals, &QRadioButton::toggled, m_target, &QLineEdit::setEnabled);
}

QString CDialogEventSet::Condition() const {
    if (m_onChange->isChecked()) return QStringLiteral("@change");
    return QStringLiteral("@") + m_target->text();
}
