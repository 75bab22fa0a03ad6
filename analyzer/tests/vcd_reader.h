// A small value change dump reader for the tests: the timescale, the wires with their full
// names (scopes joined by "."), and each wire's changes as (time, value) in file order.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

struct VcdFile {
    QString timescale;
    QStringList names;                                              // in declaration order
    QMap<QString, std::vector<std::pair<long long, int>>> changes;  // by full name
    long long endTime = -1;                                         // the last time stamp
    QString error;                                                  // empty when it parsed
};

inline VcdFile ReadVcd(const QByteArray& text) {
    VcdFile f;
    const QStringList words =
        QString::fromUtf8(text).split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    QStringList scopes;
    QMap<QString, QString> byId;
    long long now = -1;
    bool defs = true;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& w = words[i];
        auto until_end = [&]() {
            QStringList body;
            while (++i < words.size() && words[i] != "$end") body << words[i];
            return body;
        };
        if (defs) {
            if (w == "$timescale") {
                f.timescale = until_end().join(' ');
            } else if (w == "$scope") {
                QStringList b = until_end();
                if (b.size() != 2) f.error = "bad scope";
                scopes << b.value(1);
            } else if (w == "$upscope") {
                until_end();
                if (scopes.isEmpty())
                    f.error = "upscope without scope";
                else
                    scopes.removeLast();
            } else if (w == "$var") {
                QStringList b = until_end();  // type size id reference
                if (b.size() != 4 || b[1] != "1") f.error = "bad var";
                // Some readers take "$..." for a keyword and "#..." for a time stamp.
                if (b.value(2).startsWith('$') || b.value(2).startsWith('#'))
                    f.error = "identifier " + b.value(2);
                QString name = (scopes.mid(1) << b.value(3)).join('.');  // below the top scope
                byId[b.value(2)] = name;
                f.names << name;
            } else if (w == "$enddefinitions") {
                until_end();
                defs = false;
                if (!scopes.isEmpty()) f.error = "open scope";
            } else if (w.startsWith('$')) {
                until_end();
            } else {
                f.error = "unexpected " + w;
            }
            continue;
        }
        if (w.startsWith('#')) {
            bool ok = false;
            long long t = w.mid(1).toLongLong(&ok);
            if (!ok || t < now) f.error = "bad time " + w;
            now = t;
            f.endTime = t;
        } else if (w == "$dumpvars" || w == "$end") {
        } else if ((w[0] == '0' || w[0] == '1') && byId.contains(w.mid(1))) {
            if (now < 0) f.error = "value before a time";
            f.changes[byId[w.mid(1)]].push_back({now, w[0] == '1' ? 1 : 0});
        } else {
            f.error = "unexpected " + w;
        }
    }
    return f;
}
