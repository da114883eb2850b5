// SPDX-License-Identifier: GPL-3.0-or-later
#include "encodingselector.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSettings>
#include <QSignalBlocker>

const QString EncodingSelector::settingsKey = QStringLiteral("colour/encoding");

void EncodingSelector::restoreKeptEncoding() {
    const QSettings settings(QStringLiteral("Vexmira"), QStringLiteral("Viewer"));
    const std::optional<LabEncoding> kept =
        labEncodingFromKey(settings.value(settingsKey).toString());
    LabEncodingChoice::instance().set(kept.value_or(LabEncoding::Linear));
}

EncodingSelector::EncodingSelector(QWidget *parent) : QWidget(parent), combo(new QComboBox) {
    combo->addItem(tr("Linear light"), labEncodingKey(LabEncoding::Linear));
    combo->addItem(tr("sRGB"), labEncodingKey(LabEncoding::Srgb));
    combo->addItem(tr("Colour-managed (ICC)"), labEncodingKey(LabEncoding::Icc));
    combo->setStatusTip(tr("How the pictures' values hold light: linear, as raw converters write "
                           "them, sRGB, as ordinary photographs and screens do, or in the "
                           "picture's ICC profile (sRGB when it has none), giving ICC L*a*b* "
                           "relative to D50. Every L*a*b* step follows this choice."));
    combo->setToolTip(combo->statusTip());
    auto *label = new QLabel(tr("Pictures are:"));
    label->setBuddy(combo);
    auto *layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label);
    layout->addWidget(combo, 1);
    setLayout(layout);

    showEncoding(LabEncodingChoice::instance().value());

    connect(combo, &QComboBox::currentIndexChanged, this, [this] {
        const std::optional<LabEncoding> chosen =
            labEncodingFromKey(combo->currentData().toString());
        if (!chosen)
            return;
        QSettings(QStringLiteral("Vexmira"), QStringLiteral("Viewer"))
            .setValue(settingsKey, labEncodingKey(*chosen));
        LabEncodingChoice::instance().set(*chosen);
    });
    connect(&LabEncodingChoice::instance(), &LabEncodingChoice::changed, this,
            &EncodingSelector::showEncoding);
}

void EncodingSelector::showEncoding(LabEncoding encoding) {
    const QSignalBlocker blocker(combo);
    combo->setCurrentIndex(combo->findData(labEncodingKey(encoding)));
}
