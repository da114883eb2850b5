// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "seriesoptions.h"

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

// The panel's "Reference Series" group: the output folder, the files' format and the precise
// mode, kept in the settings. The encoding is not chosen here; options() leaves it linear.
class SeriesOptionsWidget : public QGroupBox {
    Q_OBJECT

public:
    explicit SeriesOptionsWidget(QWidget *parent = nullptr);

    SeriesOptions options() const { return current; }
    // Chooses the folder as the folder dialog would.
    void setFolder(const QString &folder);

signals:
    void optionsChanged();

private slots:
    void chooseFolder();

private:
    void store();
    void showFolder();

    SeriesOptions current;
    QPushButton *folderButton;
    QLabel *folderLabel;
    QComboBox *formatCombo;
    QCheckBox *preciseCheck;
};
