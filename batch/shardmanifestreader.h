// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

// Reads one shard manifest a row at a time, so that merging holds no more than a row of each
// shard: the header, then the "#" lines right after it, then the rows.
class ShardManifestReader {
public:
    // Opens the file and reads up to its first row; false with the cause in `error` when it
    // cannot be read or does not begin with the manifest header.
    bool open(const QString &path, QString *error);

    // The "#" lines after the header, as written: the series' parameters ("# series <key>:
    // <value>") and notes.
    const QStringList &headLines() const { return head; }
    // "<key>: <value>" of the "# series" lines only, in their order.
    QStringList seriesParameters() const;
    // The other "#" lines, without their "# ".
    QStringList notes() const;

    bool atEnd() const { return !hasRow; }
    // The next row without its line end; the row's number counts from 1. Only when not atEnd().
    QByteArray takeRow();
    qint64 rowsTaken() const { return taken; }
    // Why reading stopped early, if it did; empty at a clean end.
    QString error() const { return readError; }

private:
    // The next whole line into `line`; false at the end, or at a last line cut short by a crash
    // (it has no line end).
    bool readLine(QByteArray &line);

    QFile file;
    QStringList head;
    QByteArray row;
    bool hasRow = false;
    qint64 taken = 0;
    QString readError;
};
