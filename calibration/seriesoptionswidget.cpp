// SPDX-License-Identifier: GPL-3.0-or-later
#include "seriesoptionswidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>

namespace {

const QString folderKey = QStringLiteral("series/folder");
const QString formatKey = QStringLiteral("series/format");
const QString preciseKey = QStringLiteral("series/precise");

QSettings viewerSettings() {
    return QSettings(QStringLiteral("Vexmira"), QStringLiteral("Viewer"));
}

} // namespace

SeriesOptionsWidget::SeriesOptionsWidget(QWidget *parent)
    : QGroupBox(tr("Reference Series"), parent),
      folderButton(new QPushButton(tr("Output Folder..."))), folderLabel(new QLabel),
      formatCombo(new QComboBox), preciseCheck(new QCheckBox(tr("Precise colours"))) {
    for (const SeriesFormat format : seriesFormats())
        formatCombo->addItem(seriesFormatName(format), seriesFormatKey(format));
    folderLabel->setWordWrap(true);
    folderLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    const auto setTips = [](QWidget *widget, const QString &tip) {
        widget->setToolTip(tip);
        widget->setStatusTip(tip);
    };
    setTips(folderButton, tr("Choose the folder the series' files and manifest go to; without "
                             "one they go to the drive root"));
    setTips(folderLabel, tr("The folder the next series writes to"));
    setTips(formatCombo, tr("The series' file format: JPEG (small, lossy), PNG or TIFF "
                            "(lossless), 8 or 16 bits a channel; the names keep their pattern "
                            "with this extension"));
    setTips(preciseCheck, tr("Hold each file to its name: real L* targets, rounded codes, and "
                             "each file measured and written again until it matches (within 0.5 "
                             "ΔE76 lossless, 1.0 JPEG)"));

    const QSettings settings = viewerSettings();
    // A value that is missing or not understood leaves the default.
    const QString folder = settings.value(folderKey).toString();
    if (!folder.isEmpty() && QDir::isAbsolutePath(folder))
        current.folder = folder;
    current.format =
        seriesFormatFromKey(settings.value(formatKey).toString()).value_or(SeriesFormat::Jpeg);
    current.precise = settings.value(preciseKey).toString() == QLatin1String("true");
    formatCombo->setCurrentIndex(formatCombo->findData(seriesFormatKey(current.format)));
    preciseCheck->setChecked(current.precise);
    showFolder();

    auto *form = new QFormLayout;
    form->addRow(folderButton);
    form->addRow(folderLabel);
    form->addRow(tr("Format:"), formatCombo);
    form->addRow(preciseCheck);
    setLayout(form);

    connect(folderButton, &QPushButton::clicked, this, &SeriesOptionsWidget::chooseFolder);
    connect(formatCombo, &QComboBox::currentIndexChanged, this, [this] {
        current.format =
            seriesFormatFromKey(formatCombo->currentData().toString()).value_or(SeriesFormat::Jpeg);
        store();
    });
    connect(preciseCheck, &QCheckBox::toggled, this, [this](bool checked) {
        current.precise = checked;
        store();
    });
}

void SeriesOptionsWidget::setFolder(const QString &folder) {
    current.folder = folder.isEmpty() ? QString() : QDir(folder).absolutePath();
    showFolder();
    store();
}

void SeriesOptionsWidget::chooseFolder() {
    const QString folder =
        QFileDialog::getExistingDirectory(this, tr("Output Folder"), seriesFolder(current));
    if (!folder.isEmpty())
        setFolder(folder);
}

void SeriesOptionsWidget::store() {
    QSettings settings = viewerSettings();
    settings.setValue(folderKey, current.folder);
    settings.setValue(formatKey, seriesFormatKey(current.format));
    settings.setValue(preciseKey, current.precise);
    emit optionsChanged();
}

void SeriesOptionsWidget::showFolder() {
    folderLabel->setText(
        current.folder.isEmpty()
            ? tr("Drive root (%1)").arg(QDir::toNativeSeparators(seriesFolder(current)))
            : QDir::toNativeSeparators(current.folder));
}
