// The shown recording as files for other tools: a value change dump (VCD) that waveform viewers
// open, and CSV with the time and one column per channel. Plain functions of the recording.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace wave {

// One recording with its sample points (names[k] names channel k; missing or empty names are
// given "通道k").
struct Recording {
    QByteArray bits;  // packed, bit s * channels + k of the string is sample s, channel k
    int samples = 0;
    int channels = 4;
    int triggerPos = 0;
    double periodUs = 1.0;
    QStringList names;

    bool Bit(int sample, int channel) const;
    QString Name(int channel) const;
};

// A VCD timescale ("1 ms", "100 ns", ...) and the sample period in its ticks: the coarsest
// unit in which the period is a whole number of ticks (1 fs at the finest; a period that is
// not a positive number counts as 1 us).
struct Timescale {
    int multiplier = 1;  // 1, 10 or 100
    QString unit = "us";
    long long ticksPerSample = 1;
    QString Text() const { return QString::number(multiplier) + " " + unit; }
};
Timescale TimescaleFor(double periodUs);

// One wire per channel inside a scope named after the sample point's component, named after
// its attribute; the initial values at time 0, then a time stamp at every sample where some
// channel changes and one after the last sample. UTF-8.
QByteArray ToVcd(const Recording& r);

// "time_us" and the channel names, then one row per sample: its time in microseconds and the
// channels as 0 or 1. UTF-8 with a byte order mark (spreadsheets then read the names right).
QByteArray ToCsv(const Recording& r);

}  // namespace wave
