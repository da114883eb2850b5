// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartpanel.h"

#include "chartexport.h"
#include "chartplots.h"
#include "gridoverlay.h"
#include "patchmeasurement.h"
#include "qcvimage.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>

namespace {

// At most 25 readings a second while the corners are dragged.
constexpr int refreshIntervalMs = 40;

QSpinBox *spinBox(int minimum, int maximum, int value, const QString &suffix = QString()) {
    auto *box = new QSpinBox;
    box->setRange(minimum, maximum);
    box->setValue(value);
    box->setSuffix(suffix);
    return box;
}

QString suffixForFilter(const QString &filter) {
    return filter.contains(QLatin1String("*.csv")) ? QStringLiteral(".csv")
                                                   : QStringLiteral(".txt");
}

} // namespace

ChartPanel::ChartPanel(QCVImage *imageCanvas, QWidget *parent)
    : QWidget(parent), canvas(imageCanvas) {
    const GridLayout defaults;
    rowsBox = spinBox(GridLayout::minCount, GridLayout::maxCount, defaults.rows);
    columnsBox = spinBox(GridLayout::minCount, GridLayout::maxCount, defaults.columns);
    insetBox = spinBox(0, int(GridLayout::maxInsetPercent), int(defaults.insetPercent),
                       QStringLiteral(" %"));
    auto *form = new QFormLayout;
    form->addRow(tr("Rows"), rowsBox);
    form->addRow(tr("Columns"), columnsBox);
    form->addRow(tr("Inset"), insetBox);

    auto *loadButton = new QPushButton(tr("Load reference..."));
    auto *exportButton = new QPushButton(tr("Export..."));
    auto *plotsButton = new QPushButton(tr("Plots..."));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(loadButton);
    buttons->addWidget(exportButton);
    buttons->addWidget(plotsButton);

    referenceLabel = new QLabel(tr("No reference loaded."));
    summaryLabel = new QLabel;
    messageLabel = new QLabel;
    messageLabel->setWordWrap(true);
    messageLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    table = new QTableView;
    table->setModel(&model);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(referenceLabel);
    layout->addWidget(summaryLabel);
    layout->addWidget(messageLabel);
    layout->addWidget(table, 1);

    throttle.setSingleShot(true);
    throttle.setInterval(refreshIntervalMs);
    connect(&throttle, &QTimer::timeout, this, &ChartPanel::refresh);
    for (QSpinBox *box : {rowsBox, columnsBox, insetBox})
        connect(box, &QSpinBox::valueChanged, this, &ChartPanel::layoutChanged);
    connect(loadButton, &QPushButton::clicked, this, &ChartPanel::chooseReference);
    connect(exportButton, &QPushButton::clicked, this, &ChartPanel::chooseExport);
    connect(plotsButton, &QPushButton::clicked, this, &ChartPanel::showPlots);
    connect(&LabEncodingChoice::instance(), &LabEncodingChoice::changed, this,
            &ChartPanel::scheduleRefresh);

    if (canvas) {
        connect(canvas, &QCVImage::cornersChanged, this, &ChartPanel::scheduleRefresh);
        connect(canvas, &QCVImage::imageChanged, this, &ChartPanel::scheduleRefresh);
        // Drawn from the corners at each paint, so the grid follows a drag at once.
        const QPointer<ChartPanel> panel(this);
        canvas->addOverlayPainter([panel](QPainter &painter, const QPointF &scale) {
            if (panel && panel->isVisible())
                paintPatchGrid(painter, scale, panel->currentGrid(), panel->worstPatch);
        });
    }
}

GridLayout ChartPanel::gridLayout() const {
    return {rowsBox->value(), columnsBox->value(), double(insetBox->value())};
}

void ChartPanel::setGridLayout(const GridLayout &layout) {
    rowsBox->setValue(layout.rows);
    columnsBox->setValue(layout.columns);
    insetBox->setValue(int(layout.insetPercent));
}

PatchGrid ChartPanel::currentGrid() const {
    if (!canvas)
        return {};
    return patchGrid(quadFromPoints(canvas->corners), gridLayout());
}

void ChartPanel::scheduleRefresh() {
    if (isVisible() && !throttle.isActive())
        throttle.start();
}

void ChartPanel::layoutChanged() {
    if (!reference.empty() && int(reference.size()) != gridLayout().patchCount()) {
        reference.clear();
        referenceLabel->setText(tr("No reference loaded: %1 does not fit a grid of %2 patches.")
                                    .arg(referenceName)
                                    .arg(gridLayout().patchCount()));
    }
    refresh();
    if (canvas)
        canvas->update();
}

void ChartPanel::refresh() {
    throttle.stop();
    const PatchGrid grid = currentGrid();
    const LabEncoding encoding = currentLabEncoding();
    std::vector<std::optional<LabStats>> readings;
    if (!canvas || canvas->isCurrentImageEmpty()) {
        setMessage(tr("No image to measure."), false, true);
    } else if (!grid.problem.isEmpty()) {
        setMessage(grid.problem, true, true);
    } else {
        const cv::Mat image = canvas->image(true, -1, false);
        if (!isLabMeasurable(image.type())) {
            setMessage(tr("This image's type holds no colour to measure."), true, true);
        } else {
            readings = measurePatches(image, grid.areas, encoding);
            if (messageAboutMeasuring)
                setMessage(QString(), false);
        }
    }
    model.setPatches(comparePatches(readings, reference), !reference.empty(), encoding);
    updateSummary();
    if (plotsWindow && plotsWindow->isVisible())
        plotsWindow->setPatches(model.patches(), encoding);
    emit measured();
}

void ChartPanel::setMessage(const QString &text, bool isError, bool aboutMeasuring) {
    messageLabel->setText(text);
    messageLabel->setStyleSheet(isError ? QStringLiteral("color: #b00020;") : QString());
    messageAboutMeasuring = aboutMeasuring;
}

void ChartPanel::updateSummary() {
    const auto result = summarise(model.patches());
    const int previousWorst = worstPatch;
    worstPatch = result ? result->worstPatch : -1;
    summaryLabel->setText(result ? tr("ΔE2000: mean %1, maximum %2 (patch %3)")
                                       .arg(result->meanDeltaE2000, 0, 'f', 2)
                                       .arg(result->maxDeltaE2000, 0, 'f', 2)
                                       .arg(result->worstPatch + 1)
                                 : QString());
    if (canvas && previousWorst != worstPatch)
        canvas->update();
}

QString ChartPanel::message() const {
    return messageLabel->text();
}

QString ChartPanel::summary() const {
    return summaryLabel->text();
}

bool ChartPanel::loadReference(const QString &path) {
    QString error;
    auto loaded = ::loadReference(path, error);
    if (loaded)
        error = referenceCountProblem(*loaded, gridLayout().patchCount(), path);
    if (!error.isEmpty()) {
        setMessage(error, true);
        return false;
    }
    reference = std::move(*loaded);
    referenceName = QFileInfo(path).fileName();
    referenceLabel->setText(tr("Reference: %1").arg(referenceName));
    setMessage(QString(), false);
    refresh();
    return true;
}

bool ChartPanel::exportMeasurement(const QString &path) {
    QString error;
    const bool csv = path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
    const bool withReference = model.hasReference();
    const bool written = !model.patches().empty() &&
                         (csv ? exportCsv(path, model.patches(), withReference, error)
                              : exportCgats(path, model.patches(), withReference,
                                            labEncodingKey(currentLabEncoding()), error));
    if (model.patches().empty())
        error = tr("Nothing measured to export.");
    setMessage(written ? tr("Saved %1.").arg(QFileInfo(path).fileName()) : error, !written);
    return written;
}

void ChartPanel::chooseReference() {
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Load Chart Reference"), QString(),
        tr("Chart references (*.txt *.cgats *.it8 *.cie *.csv);;All files (*)"));
    if (!path.isEmpty())
        loadReference(path);
}

void ChartPanel::chooseExport() {
    QString filter;
    QString path = QFileDialog::getSaveFileName(this, tr("Export Chart Measurement"), QString(),
                                                tr("CGATS (*.txt);;CSV (*.csv)"), &filter);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += suffixForFilter(filter);
    exportMeasurement(path);
}

void ChartPanel::showPlots() {
    if (!plotsWindow)
        plotsWindow = new ChartPlots(this);
    plotsWindow->setPatches(model.patches(), currentLabEncoding());
    plotsWindow->show();
    plotsWindow->raise();
}

void ChartPanel::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    refresh();
    if (canvas)
        canvas->update();
}

void ChartPanel::hideEvent(QHideEvent *event) {
    QWidget::hideEvent(event);
    if (canvas)
        canvas->update();
}

ChartPlots *ChartPanel::plots() const {
    return plotsWindow;
}
