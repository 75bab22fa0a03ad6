#include "analyzer/sample_point_chooser.h"

CDialogWaveform::SamplePointChooser DefaultSamplePointChooser() {
    return
        [](QWidget*, CDevice&, const QString&) -> std::optional<QString> { return std::nullopt; };
}
