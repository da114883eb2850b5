// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

class QMimeData;

// The first file of a drag when it is an image file on this machine (an existing file with a
// suffix of the Open dialog); otherwise empty, and the drop is refused.
QString droppedImageFile(const QMimeData *data);

// Installed on a window that accepts drops: takes the drags that carry an image file and
// reports the drop; every other drag is refused, without a word.
class FileDropFilter : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    void fileDropped(const QString &file);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
