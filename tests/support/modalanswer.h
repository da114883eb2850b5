// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

#include <functional>

// Answers the next modal dialog of type Dialog once it is up: `answer` runs on it and closes it.
// Modal dialogs run their own event loop, so the answer has to be queued before they open.
template <typename Dialog> void answerNextModal(std::function<void(Dialog *)> answer) {
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answer] {
        if (auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            answer(dialog);
        }
    });
    timer->start();
}

// Answers the next file dialog with the given path, as a user typing it would.
inline void answerNextFileDialog(const QString &path) {
    answerNextModal<QFileDialog>([path](QFileDialog *dialog) {
        // Typed in full, the name does not depend on the folder the dialog remembers.
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (edit)
            edit->setText(path);
        else
            dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    });
}
