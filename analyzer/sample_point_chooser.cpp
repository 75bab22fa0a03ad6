#include "analyzer/sample_point_chooser.h"

#include "app/common/message_service.h"
#include "browser/dialog_sel_attr.h"

CDialogWaveform::SamplePointChooser DefaultSamplePointChooser() {
    return [](QWidget* parent, CDevice& device, const QString& current) -> std::optional<QString> {
        CDialogSelAttr dlg(device, current, CDialogWaveform::kSamplePointMask,
                           CDialogWaveform::kMaxSamplePoints, false, parent);
        dlg.Load();  // without a component tree the user can still remove entries
        if (CMessageService::Get().Run(dlg) != QDialog::Accepted) return std::nullopt;
        return dlg.Result();
    };
}
