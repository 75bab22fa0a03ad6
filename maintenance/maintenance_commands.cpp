#include "maintenance/maintenance_commands.h"

#include "app/common/commands.h"
#include "app/common/message_service.h"
#include "maintenance/boot_dialogs.h"
#include "maintenance/dialog_gloable_set.h"

void OpenGlobalSettings(CDevice& device, QWidget* parent) {
    CDialogGloableSet dlg(device, parent);
    // A failed read has shown its message; the dialog still opens, without values.
    dlg.Load();
    CMessageService::Get().Run(dlg);
}

void OpenBootDialog(CDevice& device, QWidget* parent) {
    BootCtrlDlg dlg(device, parent);
    dlg.Load();
    CMessageService::Get().Run(dlg);
}

void OpenFirmwareDialog(QWidget* parent, const CFirmwareCtrl::LogSink& fileLog) {
    CFirmwareCtrl dlg(parent);
    dlg.SetLogSink(fileLog);
    CMessageService::Get().Run(dlg);
}

void RegisterMaintenanceCommands(const AttachCommand& attach, CDevice& device, QWidget* parent,
                                 CFirmwareCtrl::LogSink fileLog) {
    attach(ID_GLOBAL_SET, [&device, parent] { OpenGlobalSettings(device, parent); });
    attach(ID_BOOT, [&device, parent] { OpenBootDialog(device, parent); });
    attach(ID_FIRMWARE, [parent, fileLog] { OpenFirmwareDialog(parent, fileLog); });
}
