// The sampling strip's default way of choosing sample points: the attribute selection dialog
// with the value-type mask 38, at most four entries and no event condition.
#pragma once

#include "analyzer/dialog_waveform.h"

CDialogWaveform::SamplePointChooser DefaultSamplePointChooser();
