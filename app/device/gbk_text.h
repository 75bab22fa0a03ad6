// The one place where the program's QString texts meet the GBK bytes of the link library and
// the device. Thread-safe: every call uses its own converter.
#pragma once

#include <QByteArray>
#include <QString>

// UTF-16 text to NUL-terminated GBK bytes (characters without a GBK form become '?').
QByteArray ToGbk(const QString& text);

// GBK bytes up to their NUL (or at most maxLength bytes when maxLength >= 0) to text.
// A null pointer gives a null QString.
QString FromGbk(const char* gbk, qsizetype maxLength = -1);
