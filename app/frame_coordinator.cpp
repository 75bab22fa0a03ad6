#include "app/frame_coordinator.h"

#include "app/common/frame_events.h"
#include "app/device/device.h"
#include "browser/component_tree.h"
#include "kvsh_vocab.h"

CFrameCoordinator::CFrameCoordinator(CDevice& device, CComponentTree& tree, FrameHooks hooks)
    : m_device(device), m_tree(tree), m_hooks(std::move(hooks)) {}

bool CFrameCoordinator::RebuildTree() { return m_tree.RefreshFromDevice(); }

void CFrameCoordinator::LoadDiagram() {
    if (m_view) m_view->LoadDiagram(m_tree.InstanceList());
}

void CFrameCoordinator::ClearDiagram() {
    if (m_view) m_view->ClearDiagram();
}

void CFrameCoordinator::EmptyGrid() {
    if (m_grid) m_grid->Empty();
    if (m_hooks.gridEmptied) m_hooks.gridEmptied();
}

void CFrameCoordinator::RefreshSamplingAndShow() {
    if (m_strip) m_strip->RefreshSampling();
    if (m_hooks.showStrip) m_hooks.showStrip();
}

bool CFrameCoordinator::ReadRunningState() { return ReadRunningState(nullptr); }

bool CFrameCoordinator::ReadRunningState(bool* answered) {
    DeviceResult<QString> v = m_device.GetAttrVal(QStringLiteral(KVS_COMPONENT_MANAGER),
                                                  QStringLiteral(KVS_ATTR_RUN_STATE));
    if (answered) *answered = v.Answered();
    return v.Ok() && v.value == QLatin1String("true");
}

void CFrameCoordinator::Handle(int code, const QString& name) {
    switch (code) {
        case NOTIFY_REFRESH_TREE:
            RebuildTree();
            break;
        case NOTIFY_SELECT:
            if (m_grid) m_grid->ShowComponent(name, false);
            if (!name.isNull() && m_view) m_view->SelectItemByName(name);
            m_tree.SelectByName(name);
            break;
        case NOTIFY_COMPONENT_CHANGED:
            if (name.isNull() || !m_view) break;
            m_view->ReloadComponent(name);
            RefreshSamplingAndShow();
            break;
        case NOTIFY_COMMENT_CHANGED:
            if (!name.isNull() && m_view) m_view->ReloadComment(name);
            break;
        case NOTIFY_DELETE_COMPONENT:
            if (ReadRunningState()) {
                if (m_hooks.inform) m_hooks.inform(QStringLiteral("请停止工程，然后再删除组件!"));
                break;
            }
            if (!name.isNull() && m_view && m_view->HasItem(name)) m_view->DeleteItem(name);
            RefreshSamplingAndShow();
            break;
        default:
            break;  // codes 2, 3 and others are ignored
    }
}
