#include "analyzer/sampling_rules.h"

#include <QRegularExpression>
#include <climits>
#include <cmath>

namespace sampling {

double LeadingNumber(const QString& text) {
    // Written out rather than strtod: the C library's number format follows the user's locale.
    static const QRegularExpression kNumber(
        QStringLiteral("^\\s*([+-]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][+-]?\\d+)?)"));
    const QRegularExpressionMatch m = kNumber.match(text);
    if (!m.hasMatch()) return 0;
    const double v = m.captured(1).toDouble();
    return std::isfinite(v) ? v : 0;
}

int LeadingInt(const QString& text) {
    static const QRegularExpression kInt(QStringLiteral("^\\s*([+-]?\\d+)"));
    const QRegularExpressionMatch m = kInt.match(text);
    if (!m.hasMatch()) return 0;
    bool ok = false;
    const qlonglong v = m.captured(1).toLongLong(&ok);
    if (!ok) return m.captured(1).startsWith('-') ? INT_MIN : INT_MAX;
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : int(v);
}

QStringList ListEntries(const QString& list) {
    QStringList entries = list.split(';');
    entries.removeLast();  // what follows the last ";" (all of it when there is none)
    return entries;
}

QString JoinEntries(const QStringList& entries) {
    QString text;
    for (const QString& e : entries) text += e + ';';
    return text;
}

int TriggerModeIndex(const QString& enabled, const QString& rising) {
    if (enabled != QLatin1String("true")) return kModeFree;
    return rising == QLatin1String("true") ? kModeRising : kModeFalling;
}

QString PeriodText(double us) { return QString::asprintf("%0.2f", us); }

QString PeriodDisplay(double us) { return QString::number(us, 'g', 15); }

std::optional<double> ParsePeriod(const QString& text) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

LabelLines SplitSamplePoint(const QString& entry) {
    int at = entry.lastIndexOf(':');
    if (at < 0) at = entry.lastIndexOf('.');
    if (at < 0) return {entry, QString()};
    return {entry.left(at), entry.mid(at + 1)};
}

}  // namespace sampling
