// The text rules of the sampling strip: reading the device's number texts, the sample point
// list, the trigger mode, the period as the device takes it, and the split of a sample point
// into the two lines of its channel label. Plain functions, called by the strip and by tests.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace sampling {

inline constexpr int kModeFree = 0;
inline constexpr int kModeRising = 1;
inline constexpr int kModeFalling = 2;

// The leading decimal number of a text (after white space), 0 when it does not start with one.
double LeadingNumber(const QString& text);
// The leading decimal integer of a text, 0 when it does not start with one (clamped to int).
int LeadingInt(const QString& text);

// The entries of a list: every piece that is followed by ";", in order (text after the last
// ";" is not an entry).
QStringList ListEntries(const QString& list);
// The list text of entries, each followed by ";".
QString JoinEntries(const QStringList& entries);

// The trigger mode index from "启用采样触发" and "上升_下降沿触发".
int TriggerModeIndex(const QString& enabled, const QString& rising);

// The period as written to the device ("%0.2f").
QString PeriodText(double us);
// The period as shown in the edit (general format, up to 15 significant digits).
QString PeriodDisplay(double us);
// The period the user typed, or nullopt when the text is not a (finite) number.
std::optional<double> ParsePeriod(const QString& text);

// A sample point split at its last ":" (or, without one, its last "."): the component and the
// attribute. An entry with neither is shown whole on the first line.
struct LabelLines {
    QString component;
    QString attribute;
};
LabelLines SplitSamplePoint(const QString& entry);

}  // namespace sampling
