// SPDX-License-Identifier: GPL-3.0-or-later
#include "userguide.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QTextBrowser>
#include <QVBoxLayout>

UserGuideDialog::UserGuideDialog(QWidget *parent) : QDialog(parent) {
    setWindowTitle(tr("User Guide"));
    auto *browser = new QTextBrowser(this);
    browser->setObjectName(QStringLiteral("userGuideBrowser"));
    browser->setOpenExternalLinks(true);
    browser->setMarkdown(guideText());
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(browser);
    layout->addWidget(buttons);
    resize(640, 560);
}

// The guide's resource lives in a static library; naming it keeps it linked in. Outside any
// namespace, as the macro requires.
static void registerGuideResource() {
    Q_INIT_RESOURCE(guide);
}

QString UserGuideDialog::guideText() {
    static const bool registered = (registerGuideResource(), true);
    Q_UNUSED(registered);
    QFile file(QStringLiteral(":/guide/userguide.md"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}
