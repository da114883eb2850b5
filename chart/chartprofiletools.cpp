// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartprofiletools.h"

#include "cameraprofileicc.h"
#include "cameraprofilereadings.h"
#include "chartfinder.h"
#include "chartfolders.h"
#include "chartpanel.h"
#include "patchmeasurement.h"
#include "qcvimage.h"

#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QPushButton *toolButton(const QString &text, const QString &tip) {
    auto *pushButton = new QPushButton(text);
    pushButton->setToolTip(tip);
    pushButton->setStatusTip(tip);
    return pushButton;
}

QTableWidgetItem *figureItem(const std::optional<double> &value) {
    auto *item = new QTableWidgetItem(value ? QString::number(*value, 'f', 2) : QString());
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

// Detection takes up to a second; the wait cursor says the window has not hung.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

} // namespace

ChartProfileTools::ChartProfileTools(ChartPanel &chartPanel, QCVImage *imageCanvas, QWidget *parent)
    : QWidget(parent), panel(chartPanel), canvas(imageCanvas) {
    auto *findButton =
        toolButton(tr("Find Chart"), tr("Find a ColorChecker Classic 24, ColorChecker SG or "
                                        "18-patch Vinyl chart on the picture and place the "
                                        "grid on it"));
    auto *makeButton = toolButton(tr("Make Profile..."),
                                  tr("Fit a camera profile to the chart under the corners and "
                                     "its reference, and save it as an ICC file"));
    assignButton = toolButton(tr("Assign to Picture"),
                              tr("Measure the picture through the profile just made"));
    assignButton->setEnabled(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(findButton);
    buttons->addWidget(makeButton);
    buttons->addWidget(assignButton);

    toneBox = new QComboBox(this);
    toneBox->addItem(tr("sRGB"), toneCurveKey(ToneCurve::Srgb));
    toneBox->addItem(tr("Gamma"), toneCurveKey(ToneCurve::Gamma));
    toneBox->addItem(tr("Linear"), toneCurveKey(ToneCurve::Linear));
    const QString toneTip = tr("The tone curve Make Profile fits: the sRGB curve for camera "
                               "JPEGs, one fitted gamma, or linear for linear raw exports");
    toneBox->setToolTip(toneTip);
    toneBox->setStatusTip(toneTip);

    messageLabel = new QLabel;
    summaryLabel = new QLabel;
    for (QLabel *label : {messageLabel, summaryLabel}) {
        label->setWordWrap(true);
        label->setMinimumWidth(1);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // No room taken in a narrow dock until there is something to say.
        label->hide();
    }

    table = new QTableWidget(0, 2, this);
    table->setObjectName(QStringLiteral("profileFitTable"));
    table->hide();
    table->setHorizontalHeaderLabels({tr("ΔE2000 before"), tr("ΔE2000 after")});
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const QString tableTip = tr("Each patch's ΔE2000 to the reference as read now and through "
                                "the new profile; patches left out of the fit are greyed");
    table->setToolTip(tableTip);
    table->setStatusTip(tableTip);
    table->hide();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(buttons);
    layout->addWidget(messageLabel);
    layout->addWidget(summaryLabel);

    connect(findButton, &QPushButton::clicked, this, &ChartProfileTools::findChart);
    connect(makeButton, &QPushButton::clicked, this, &ChartProfileTools::chooseProfileFile);
    connect(assignButton, &QPushButton::clicked, this, &ChartProfileTools::assignToPicture);
}

bool ChartProfileTools::findChart() {
    if (!canvas || canvas->isCurrentImageEmpty()) {
        report(tr("No picture to find a chart on."), true);
        return false;
    }
    const cv::Mat image = canvas->image(true, -1, false);
    const ChartReference &reference = panel.chartReference();
    ChartFindOptions options;
    options.insetPercent = panel.gridLayout().insetPercent;
    if (!reference.empty()) {
        options.reference = &reference;
        options.readPatches = patchLabReader(image, currentLabSpace());
    }
    ChartSearch search;
    {
        const WaitCursor waiting;
        search = ::findChart(image, options);
    }
    if (!search.chart) {
        report(tr("No chart found; the corners stay where they were."), true);
        return false;
    }
    const FoundChart &chart = *search.chart;
    const Quad quad = chart.quad();
    std::copy(quad.begin(), quad.end(), canvas->corners);
    // The grid follows before the corners' signal, so the reading is of the found chart.
    panel.setGridLayout(chart.layout(panel.gridLayout().insetPercent));
    emit canvas->cornersChanged();
    canvas->update();
    foundChartName = chartKindInfo(chart.kind).name;
    report(tr("Found %1").arg(foundChartText(chart)), false);
    return true;
}

QString ChartProfileTools::chartName() const {
    const GridLayout layout = panel.gridLayout();
    const auto kind = chartKindWithPatchCount(layout.patchCount());
    if (kind && chartKindInfo(*kind).rows == layout.rows)
        return chartKindInfo(*kind).name;
    return foundChartName.isEmpty() ? tr("a %1 x %2 chart").arg(layout.rows).arg(layout.columns)
                                    : foundChartName;
}

bool ChartProfileTools::makeProfile(const QString &path) {
    if (!canvas || canvas->isCurrentImageEmpty()) {
        report(tr("No picture to make a profile from."), true);
        return false;
    }
    const ChartReference &reference = panel.chartReference();
    if (reference.empty()) {
        report(tr("Load the chart's reference first: the profile is fitted to it."), true);
        return false;
    }
    const PatchGrid grid = patchGrid(quadFromPoints(canvas->corners), panel.gridLayout());
    if (!grid.problem.isEmpty()) {
        report(grid.problem, true);
        return false;
    }
    const cv::Mat image = canvas->image(true, -1, false);
    CameraProfileInput input;
    input.readings = readPatchRgb(image, grid.areas);
    input.reference = reference;
    for (const auto &stats : measurePatches(image, grid.areas, currentLabSpace()))
        input.before.push_back(stats ? std::optional<cv::Vec3d>(stats->mean) : std::nullopt);
    input.tone = toneCurve();
    CameraProfileResult result;
    {
        const WaitCursor waiting;
        result = fitCameraProfile(input);
    }
    if (!result.fit) {
        report(tr("No profile made: %1").arg(result.problem), true);
        return false;
    }
    const FileWriteResult written = writeCameraProfile(
        path, result.fit->model, cameraProfileDescription(chartName(), QDate::currentDate()));
    if (!written.written()) {
        report(tr("No profile made: %1").arg(written.error), true);
        return false;
    }
    writtenProfile = QFileInfo(path).absoluteFilePath();
    assignButton->setEnabled(true);
    showFit(*result.fit);
    report(tr("Saved the profile %1.").arg(QFileInfo(path).fileName()), false);
    return true;
}

void ChartProfileTools::showFit(const CameraProfileFit &fit) {
    table->setRowCount(int(fit.patches.size()));
    for (int row = 0; row < table->rowCount(); ++row) {
        const PatchFit &patch = fit.patches[size_t(row)];
        table->setVerticalHeaderItem(row, new QTableWidgetItem(QString::number(row + 1)));
        table->setItem(row, 0, figureItem(patch.deltaE2000Before));
        table->setItem(row, 1, figureItem(patch.deltaE2000After));
        if (!patch.used) {
            for (int column = 0; column < 2; ++column)
                table->item(row, column)->setForeground(palette().brush(QPalette::PlaceholderText));
        }
    }
    const auto figures = [](const DeltaESummary &summary) {
        return summary.count == 0 ? tr("not read")
                                  : tr("mean %1, maximum %2 (patch %3)")
                                        .arg(summary.mean, 0, 'f', 2)
                                        .arg(summary.maximum, 0, 'f', 2)
                                        .arg(summary.worstPatch + 1);
    };
    summaryLabel->setText(tr("Fit over %1 patches. ΔE2000 before: %2. After: %3.")
                              .arg(fit.usedPatches)
                              .arg(figures(fit.before), figures(fit.after)));
    summaryLabel->show();
    emit fitShown();
}

ToneCurve ChartProfileTools::toneCurve() const {
    return toneCurveFromKey(toneBox->currentData().toString()).value_or(ToneCurve::Srgb);
}

void ChartProfileTools::setToneCurve(ToneCurve tone) {
    toneBox->setCurrentIndex(toneBox->findData(toneCurveKey(tone)));
}

QString ChartProfileTools::message() const {
    return messageLabel->text();
}

QString ChartProfileTools::fitSummary() const {
    return summaryLabel->text();
}

void ChartProfileTools::chooseProfileFile() {
    QString path = QFileDialog::getSaveFileName(
        this, tr("Make Camera Profile"),
        exportDialogPath(panel.pictureFilePath(), QStringLiteral(".icc")),
        tr("ICC profiles (*.icc *.icm)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".icc");
    if (makeProfile(path))
        rememberChartFolder(QFileInfo(path).absolutePath());
}

void ChartProfileTools::assignToPicture() {
    if (writtenProfile.isEmpty())
        return;
    emit profileAssigned(writtenProfile);
    report(tr("Assigned %1 to the picture.").arg(QFileInfo(writtenProfile).fileName()), false);
}

void ChartProfileTools::report(const QString &text, bool isError) {
    messageLabel->setText(text);
    messageLabel->setVisible(!text.isEmpty());
    messageLabel->setStyleSheet(isError ? QStringLiteral("color: #b00020;") : QString());
    emit reported(text);
}
