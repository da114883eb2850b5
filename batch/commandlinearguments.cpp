// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandlinearguments.h"

#include <QFile>

std::optional<QStringList> decodeArguments(int argc, const char *const *argv,
                                           QByteArray *undecodable) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        const QByteArray raw(argv[i]);
        const QString decoded = QFile::decodeName(raw);
        if (QFile::encodeName(decoded) != raw) {
            *undecodable = raw;
            return std::nullopt;
        }
        arguments << decoded;
    }
    return arguments;
}

QString escapedBytes(const QByteArray &bytes) {
    QString text;
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (code >= 0x20 && code < 0x7f)
            text += QLatin1Char(byte);
        else
            text += QStringLiteral("\\x%1").arg(code, 2, 16, QLatin1Char('0'));
    }
    return text;
}
