// The command "事件监控设置": edits the component manager's "属性监控表" (the attributes whose
// changes the device reports as monitor events) with CDialogSelAttr, from the table as the
// device holds it now.
#pragma once

class CDevice;
class QWidget;

// Runs the command: reads the table, lets the user edit it (ten entries at most, each with its
// condition) and on OK writes the result back (an empty result removes every watch). The
// result of the write is not reported.
void RunEventMonitorSettings(CDevice& device, QWidget* parent);
