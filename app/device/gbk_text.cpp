#include "app/device/gbk_text.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <cstring>

QByteArray ToGbk(const QString& text) {
    QStringEncoder encoder("GBK", QStringConverter::Flag::Default);
    QByteArray bytes = encoder.encode(text);
    return bytes;  // QByteArray keeps a NUL after its data, so constData() is terminated
}

QString FromGbk(const char* gbk, qsizetype maxLength) {
    if (!gbk) return QString();
    qsizetype n = 0;
    if (maxLength < 0) {
        n = qsizetype(std::strlen(gbk));
    } else {
        const void* nul = std::memchr(gbk, 0, size_t(maxLength));
        n = nul ? static_cast<const char*>(nul) - gbk : maxLength;
    }
    QStringDecoder decoder("GBK", QStringConverter::Flag::Default);
    return decoder.decode(QByteArrayView(gbk, n));
}
