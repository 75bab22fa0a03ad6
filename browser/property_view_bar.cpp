#include "browser/property_view_bar.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/common/frame_events.h"
#include "app/common/framed_pane.h"
#include "app/device/device.h"
#include "app/device/gbk_text.h"

namespace {
const QString kComponentTitle = QStringLiteral("属性    ");
const QString kSlotTitle = QStringLiteral("通讯槽位    ");
const QString kComment = QStringLiteral("用户注释");
}  // namespace

CExecButton::CExecButton(std::function<void()> execute, QWidget* parent)
    : QPushButton(QStringLiteral("执  行"), parent), m_execute(std::move(execute)) {
    setObjectName(QStringLiteral("execButton"));
}

void CExecButton::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && isDown() && rect().contains(e->position().toPoint()) &&
        m_execute)
        m_execute();
    QPushButton::mouseReleaseEvent(e);
}

CPropertyViewBar::CPropertyViewBar(CDevice& device, QWidget* parent)
    : QWidget(parent), m_device(device), m_model(new CPropertyModel(this)), m_grid(new QTreeView) {
    setObjectName(QStringLiteral("propertyViewBar"));
    m_grid->setObjectName(QStringLiteral("propertyGrid"));
    m_grid->setModel(m_model);
    m_grid->setItemDelegate(new CPropertyDelegate(m_grid));
    m_grid->setHeaderHidden(true);
    m_grid->setRootIsDecorated(false);
    m_grid->setItemsExpandable(false);
    m_grid->setUniformRowHeights(true);
    m_grid->setSortingEnabled(false);
    m_grid->setAllColumnsShowFocus(true);
    m_grid->setFrameShape(QFrame::NoFrame);  // flat; the pane draws the frame
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::CurrentChanged | QAbstractItemView::SelectedClicked |
                            QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    m_grid->header()->setStretchLastSection(true);
    m_grid->header()->setSectionResizeMode(CPropertyModel::kNameColumn, QHeaderView::Interactive);
    m_grid->header()->resizeSection(CPropertyModel::kNameColumn, 110);
    QFont font(QStringLiteral("Microsoft Sans Serif"));
    font.setPixelSize(16);
    font.setWeight(QFont::Normal);
    m_grid->setFont(font);

    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(new CFramedPane(m_grid, this));

    connect(m_model, &CPropertyModel::ValueChanged, this, &CPropertyViewBar::WriteRow);
    SetTitle(kComponentTitle);
}

CPropertyViewBar::~CPropertyViewBar() = default;

void CPropertyViewBar::SetTitleTarget(QWidget* target) {
    // The pane keeps its own title ("属性") until the grid first shows or empties.
    m_titleTarget = target;
}

void CPropertyViewBar::SetTitle(const QString& title) {
    m_title = title;
    if (m_titleTarget) m_titleTarget->setWindowTitle(title);
}

CExecButton* CPropertyViewBar::ExecButton(int row) const {
    return qobject_cast<CExecButton*>(
        m_grid->indexWidget(m_model->index(row, CPropertyModel::kValueColumn)));
}

void CPropertyViewBar::Empty() {
    SetRows({});
    m_component.clear();
    SetTitle(kComponentTitle);
}

void CPropertyViewBar::SetRows(PropRows rows) {
    m_model->SetRows(std::move(rows));
    // The reset of the model deletes the buttons of the old command rows with their cells.
    for (int r = 0; r < m_model->rowCount(); ++r) {
        CBaseProp* row = m_model->Row(r);
        if (!row->IsCommand()) continue;
        const QString attribute = row->Name();
        auto* button = new CExecButton([this, attribute] { Execute(attribute); }, m_grid);
        button->setEnabled(row->IsEnabled());
        m_grid->setIndexWidget(m_model->index(r, CPropertyModel::kValueColumn), button);
    }
}

void CPropertyViewBar::ShowComponent(const QString& name, bool force) {
    if (!name.isNull() && !force && name == m_component) return;
    SetRows({});
    // A name the pane cannot hold would be written to under a cut name: refuse it whole.
    if (name.isEmpty() || ToGbk(name).size() > kMaxNameBytes) {
        m_component.clear();
        SetTitle(kComponentTitle);
        return;
    }
    if (name.contains(':')) {
        ShowSlot(name);
        return;
    }
    DeviceResult<QByteArray> reply = m_device.ComponentAttrInfo(name);
    if (!reply.Ok()) return;  // the grid stays empty; name and title keep their values
    ComponentRows built = BuildComponentRows(reply.value);
    if (built.hasComponent) {
        m_component = built.component;
        SetTitle(kComponentTitle + m_component);
    }
    SetRows(std::move(built.rows));
}

void CPropertyViewBar::ShowSlot(const QString& name) {
    const qsizetype colon = name.lastIndexOf(':');
    const QString component = name.left(colon);
    const QString slot = name.mid(colon + 1);
    m_component = component;
    SetTitle(kSlotTitle + name);
    CDeviceOperation operation(m_device, QStringLiteral("读取槽位"));
    DeviceResult<QByteArray> reply = m_device.AttrInfo(component, slot);
    if (!reply.Ok()) return;
    SetRows(BuildSlotRows(slot, reply.value, [&] {
        DeviceResult<QString> link = m_device.GetAttributeLink(component, slot);
        return link.Ok() ? link.value : QString();
    }));
}

void CPropertyViewBar::WriteRow(int index) {
    CBaseProp* row = m_model->Row(index);
    if (!row) return;
    // A refused write is not reported: the typed value stays on screen, drawn bold.
    m_device.SetAttributeVal(m_component, row->Name(), row->TextToSend(), true);
    if (row->ShapesBox()) Post(NOTIFY_COMPONENT_CHANGED);
    if (row->Name() == kComment) Post(NOTIFY_COMMENT_CHANGED);
}

void CPropertyViewBar::Execute(const QString& attribute) {
    m_device.SetAttributeVal(m_component, attribute, QStringLiteral("true"), true);
}

void CPropertyViewBar::Post(int code) {
    if (m_notifyTarget)
        QCoreApplication::postEvent(m_notifyTarget, new CFrameNotifyEvent(code, m_component));
}
