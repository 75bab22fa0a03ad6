// The frame's maintenance commands: "启动参数设置" opens the startup-parameter dialog,
// "boot操作" the boot-loader dialog and "固件操作" the firmware dialog, each modal through the
// message service. The frame attaches them with its own command API; the enable rules stay the
// command table's. User-interface thread only.
#pragma once

#include <QString>
#include <functional>

#include "maintenance/firmware_ctrl.h"

class CDevice;
class QWidget;

// Attaches handler to command id (the frame's command registry or handler table).
using AttachCommand = std::function<void(int id, std::function<void()> handler)>;

// device and parent must outlive the handlers; fileLog receives the firmware records.
void RegisterMaintenanceCommands(const AttachCommand& attach, CDevice& device, QWidget* parent,
                                 CFirmwareCtrl::LogSink fileLog);

// The command-line option that shows the firmware dialog's endurance test to service staff.
inline constexpr const char* kServiceOption = "--service";

void OpenGlobalSettings(CDevice& device, QWidget* parent);
void OpenBootDialog(CDevice& device, QWidget* parent);
void OpenFirmwareDialog(QWidget* parent, const CFirmwareCtrl::LogSink& fileLog);
