// SPDX-License-Identifier: GPL-3.0-or-later
#include "filedrop.h"

#include "qimagescrollarea.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QRegularExpression>
#include <QUrl>

namespace {

// The suffixes of the Open dialog's filter, "*.tif" without "*.".
QStringList openableSuffixes() {
    const QString filter = QImageScrollArea::imageFileFilter();
    const QString patterns = filter.section(QLatin1Char('('), 1).section(QLatin1Char(')'), 0, 0);
    QStringList suffixes;
    for (const QString &pattern : patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        suffixes << pattern.mid(2).toLower();
    return suffixes;
}

} // namespace

QString droppedImageFile(const QMimeData *data) {
    if (!data || !data->hasUrls() || data->urls().isEmpty())
        return {};
    const QUrl first = data->urls().constFirst();
    if (!first.isLocalFile())
        return {};
    const QFileInfo file(first.toLocalFile());
    if (!file.isFile() || !openableSuffixes().contains(file.suffix().toLower()))
        return {};
    return file.absoluteFilePath();
}

bool FileDropFilter::eventFilter(QObject *watched, QEvent *event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        if (droppedImageFile(drag->mimeData()).isEmpty())
            drag->ignore();
        else
            drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        const QString file = droppedImageFile(drop->mimeData());
        if (file.isEmpty()) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        emit fileDropped(file);
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}
