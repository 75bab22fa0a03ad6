#include "browser/event_monitor.h"

#include "app/common/message_service.h"
#include "app/device/device.h"
#include "browser/dialog_sel_attr.h"

namespace {
const QString kManager = QStringLiteral("组件管理器");
const QString kMonitorTable = QStringLiteral("属性监控表");
constexpr int kMaxWatches = 10;
}  // namespace

void RunEventMonitorSettings(CDevice& device, QWidget* parent) {
    // Without a reply the dialog starts empty, and OK writes only what the user entered.
    DeviceResult<QString> table = device.GetAttrVal(kManager, kMonitorTable);
    CDialogSelAttr dlg(device, table.Ok() ? table.value : QString(), CDialogSelAttr::kAllTypes,
                       kMaxWatches, true, parent);
    dlg.Load();
    if (CMessageService::Get().Run(dlg) != QDialog::Accepted) return;
    device.SetAttributeVal(kManager, kMonitorTable, dlg.Result(), true);
}
