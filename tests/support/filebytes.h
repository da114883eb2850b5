// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <type_traits>

// A file's bytes, as a QByteArray or a byte vector; empty when it cannot be read.
template <typename Bytes = QByteArray> Bytes fileBytes(const QString &path) {
    QFile file(path);
    const QByteArray all = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    if constexpr (std::is_same_v<Bytes, QByteArray>)
        return all;
    else
        return Bytes(all.begin(), all.end());
}

// Whether `path` now holds exactly `bytes`.
inline bool writeFileBytes(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
