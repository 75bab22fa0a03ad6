#include "analyzer/wave_export.h"

#include <cmath>

namespace wave {

bool Recording::Bit(int sample, int channel) const {
    if (sample < 0 || channel < 0 || channel >= channels) return false;
    const qsizetype b = qsizetype(sample) * channels + channel;
    if (b / 8 >= bits.size()) return false;
    return (uint8_t(bits[b / 8]) >> (b % 8)) & 1;
}

QString Recording::Name(int channel) const {
    QString n = channel < names.size() ? names[channel].trimmed() : QString();
    return n.isEmpty() ? QStringLiteral("通道%1").arg(channel) : n;
}

Timescale TimescaleFor(double periodUs) {
    Timescale t;
    if (!(periodUs > 0) || !std::isfinite(periodUs)) return t;
    static const char* const kUnits[] = {"s", "ms", "us", "ns", "ps", "fs"};
    // Exponent e of 10 seconds, from 100 s down to 1 fs.
    for (int e = 2; e >= -15; --e) {
        const long double ticks = (long double)periodUs * std::pow(10.0L, -6 - e);
        const long double whole = std::round(ticks);
        if (whole >= 1 && std::fabs(ticks - whole) <= 1e-9L * whole) {
            const int unitIndex = (2 - e) / 3;  // e 2..0 -> s, -1..-3 -> ms, ...
            const int unitExp = -3 * unitIndex;
            t.multiplier = e - unitExp == 2 ? 100 : e - unitExp == 1 ? 10 : 1;
            t.unit = QString::fromLatin1(kUnits[unitIndex]);
            t.ticksPerSample = (long long)whole;
            return t;
        }
    }
    t.multiplier = 1;
    t.unit = "fs";
    t.ticksPerSample = std::max<long long>(1, std::llround(periodUs * 1e9));
    return t;
}

namespace {
// VCD names and scopes hold no white space.
QString VcdWord(QString s) {
    for (QChar& c : s)
        if (c.isSpace()) c = '_';
    return s;
}

// The wire identifiers: letters, since "$" and "#" begin keywords and time stamps for some
// readers.
QString Id(int channel) { return QString(QChar('A' + channel)); }

void SplitPoint(const QString& name, QString* scope, QString* wire) {
    int at = name.lastIndexOf(':');
    if (at < 0) at = name.lastIndexOf('.');
    if (at <= 0 || at == name.size() - 1) {
        scope->clear();
        *wire = name;
        return;
    }
    *scope = name.left(at);
    *wire = name.mid(at + 1);
}
}  // namespace

QByteArray ToVcd(const Recording& r) {
    const Timescale ts = TimescaleFor(r.periodUs);
    QString out;
    out += "$version Korvessa logic analyzer $end\n";
    out += QStringLiteral("$comment %1 samples, period %2 us, trigger at sample %3 $end\n")
               .arg(r.samples)
               .arg(r.periodUs, 0, 'g', 15)
               .arg(r.triggerPos);
    out += "$timescale " + ts.Text() + " $end\n";
    out += "$scope module logic_analyzer $end\n";
    for (int k = 0; k < r.channels; ++k) {
        QString scope, wire;
        SplitPoint(r.Name(k), &scope, &wire);
        const QString id = Id(k);
        if (!scope.isEmpty()) out += "$scope module " + VcdWord(scope) + " $end\n";
        out += "$var wire 1 " + id + " " + VcdWord(wire) + " $end\n";
        if (!scope.isEmpty()) out += "$upscope $end\n";
    }
    out += "$upscope $end\n$enddefinitions $end\n";
    out += "#0\n$dumpvars\n";
    for (int k = 0; k < r.channels; ++k) out += QString(r.Bit(0, k) ? '1' : '0') + Id(k) + "\n";
    out += "$end\n";
    for (int s = 1; s < r.samples; ++s) {
        QString changes;
        for (int k = 0; k < r.channels; ++k)
            if (r.Bit(s, k) != r.Bit(s - 1, k))
                changes += QString(r.Bit(s, k) ? '1' : '0') + Id(k) + "\n";
        if (!changes.isEmpty())
            out += "#" + QString::number(s * ts.ticksPerSample) + "\n" + changes;
    }
    // The last sample lasts one period too.
    if (r.samples > 0) out += "#" + QString::number(r.samples * ts.ticksPerSample) + "\n";
    return out.toUtf8();
}

namespace {
QString CsvField(const QString& s) {
    if (!s.contains(',') && !s.contains('"') && !s.contains('\n')) return s;
    return '"' + QString(s).replace('"', "\"\"") + '"';
}
}  // namespace

QByteArray ToCsv(const Recording& r) {
    QString out = QStringLiteral("time_us");
    for (int k = 0; k < r.channels; ++k) out += ',' + CsvField(r.Name(k));
    out += "\r\n";
    for (int s = 0; s < r.samples; ++s) {
        out += QString::number(s * r.periodUs, 'g', 15);
        for (int k = 0; k < r.channels; ++k) out += r.Bit(s, k) ? ",1" : ",0";
        out += "\r\n";
    }
    return "\xEF\xBB\xBF" + out.toUtf8();
}

}  // namespace wave
