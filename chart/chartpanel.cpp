// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartpanel.h"

#include "chartexport.h"
#include "chartfolders.h"
#include "chartplots.h"
#include "chartprofiletools.h"
#include "gridoverlay.h"
#include "patchmeasurement.h"
#include "qcvimage.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// At most 25 readings a second while the corners are dragged.
constexpr int refreshIntervalMs = 40;

QSpinBox *spinBox(int minimum, int maximum, int value, const QString &tip,
                  const QString &suffix = QString()) {
    auto *box = new QSpinBox;
    box->setRange(minimum, maximum);
    box->setValue(value);
    box->setSuffix(suffix);
    box->setToolTip(tip);
    box->setStatusTip(tip);
    return box;
}

QPushButton *button(const QString &text, const QString &tip) {
    auto *pushButton = new QPushButton(text);
    pushButton->setToolTip(tip);
    pushButton->setStatusTip(tip);
    return pushButton;
}

// Wraps its lines and, with a long file name as one unbreakable word, is cut rather than
// widening the dock and with it the window.
QLabel *wrappingLabel(const QString &text = QString()) {
    auto *label = new QLabel(text);
    label->setWordWrap(true);
    label->setMinimumWidth(1);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QString suffixForFilter(const QString &filter) {
    return filter.contains(QLatin1String("*.csv")) ? QStringLiteral(".csv")
                                                   : QStringLiteral(".txt");
}

} // namespace

ChartPanel::ChartPanel(QCVImage *imageCanvas, QWidget *parent)
    : QWidget(parent), canvas(imageCanvas) {
    const GridLayout defaults;
    rowsBox = spinBox(GridLayout::minCount, GridLayout::maxCount, defaults.rows,
                      tr("Rows of patches between the corners"));
    columnsBox = spinBox(GridLayout::minCount, GridLayout::maxCount, defaults.columns,
                         tr("Columns of patches between the corners"));
    insetBox = spinBox(0, int(GridLayout::maxInsetPercent), int(defaults.insetPercent),
                       tr("Margin left out on each side of a patch, so that its edges and the "
                          "gaps between patches are not measured"),
                       QStringLiteral(" %"));
    tools = new ChartProfileTools(*this, canvas);
    auto *insetAndTone = new QHBoxLayout;
    insetAndTone->addWidget(insetBox);
    insetAndTone->addWidget(new QLabel(tr("Tone curve")));
    insetAndTone->addWidget(tools->toneChooser());
    auto *form = new QFormLayout;
    form->addRow(tr("Rows"), rowsBox);
    form->addRow(tr("Columns"), columnsBox);
    form->addRow(tr("Inset"), insetAndTone);

    auto *loadButton = button(tr("Load reference..."),
                              tr("Read the chart's reference values from a CGATS or CSV file "
                                 "and compare each patch with them"));
    auto *exportButton =
        button(tr("Export..."), tr("Write the table to a CGATS or CSV file, beside the picture "
                                   "by default"));
    auto *plotsButton = button(tr("Plots..."), tr("Show the a*b* plane and the ΔE2000 of each "
                                                  "patch in a window of their own"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(loadButton);
    buttons->addWidget(exportButton);
    buttons->addWidget(plotsButton);

    referenceLabel = wrappingLabel(tr("No reference loaded."));
    summaryLabel = wrappingLabel();
    shadingLabel = wrappingLabel();
    shadingLabel->setStyleSheet(QStringLiteral("color: #9a5b00;"));
    shadingLabel->hide();
    messageLabel = wrappingLabel();

    table = new QTableView;
    table->setObjectName(QStringLiteral("patchTable"));
    table->setModel(&model);
    // The rows' headers hold each patch's number and swatch, so they stay in view.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setMinimumHeight(table->verticalHeader()->defaultSectionSize() * 3);
    const QString tableTip = tr("Each patch's measurement; with a reference, its ΔE2000 and ΔE76 "
                                "first. The worst patch is outlined on the picture.");
    table->setToolTip(tableTip);
    table->setStatusTip(tableTip);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(referenceLabel);
    layout->addWidget(summaryLabel);
    layout->addWidget(shadingLabel);
    layout->addWidget(messageLabel);
    layout->addWidget(tools);
    // The fit gets a tab beside the patches once there is one.
    auto *tables = new QTabWidget;
    tables->setDocumentMode(true);
    tables->setTabBarAutoHide(true);
    tables->addTab(table, tr("Patches"));
    layout->addWidget(tables, 1);
    connect(tools, &ChartProfileTools::fitShown, this, [tables, fit = tools->fitTable()] {
        if (tables->indexOf(fit) < 0)
            tables->addTab(fit, tr("Profile fit"));
        tables->setCurrentWidget(fit);
    });

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
    connect(&PictureProfileChoice::instance(), &PictureProfileChoice::changed, this,
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
    // One change, so that a reference fitting the new grid is not dropped on the way to it.
    {
        const QSignalBlocker rowsBlocker(rowsBox);
        const QSignalBlocker columnsBlocker(columnsBox);
        const QSignalBlocker insetBlocker(insetBox);
        rowsBox->setValue(layout.rows);
        columnsBox->setValue(layout.columns);
        insetBox->setValue(int(layout.insetPercent));
    }
    layoutChanged();
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
        referenceLabel->setToolTip(QString());
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
    const LabSpace space = currentLabSpace();
    const LabEncoding encoding = space.encoding();
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
            readings = measurePatches(image, grid.areas, space);
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
    updateShadingWarning();
    if (canvas && previousWorst != worstPatch)
        canvas->update();
}

void ChartPanel::updateShadingWarning() {
    const bool warn = shadingCorrected && !reference.empty();
    shadingLabel->setText(warn ? tr("The shading correction has evened out the patches; read the "
                                    "chart before W.")
                               : QString());
    shadingLabel->setVisible(warn);
}

void ChartPanel::setShadingCorrected(bool corrected) {
    shadingCorrected = corrected;
    updateShadingWarning();
}

void ChartPanel::setPictureFile(const QString &path) {
    pictureFile = path;
}

QString ChartPanel::shadingWarning() const {
    return shadingLabel->text();
}

QString ChartPanel::referenceText() const {
    return referenceLabel->text();
}

QString ChartPanel::message() const {
    return messageLabel->text();
}

QString ChartPanel::summary() const {
    return summaryLabel->text();
}

bool ChartPanel::loadReference(const QString &path) {
    QString error;
    ReferenceSource source = ReferenceSource::Lab;
    auto loaded = ::loadReference(path, error, &source);
    if (loaded)
        error = referenceCountProblem(*loaded, gridLayout().patchCount(), path);
    if (!error.isEmpty()) {
        setMessage(error, true);
        return false;
    }
    reference = std::move(*loaded);
    referenceName = QFileInfo(path).fileName();
    referenceLabel->setText(
        source == ReferenceSource::XyzConvertedToLab
            ? tr("Reference: %1 (XYZ only, converted to D50 L*a*b*)").arg(referenceName)
            : tr("Reference: %1").arg(referenceName));
    referenceLabel->setToolTip(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
    setMessage(QString(), false);
    refresh();
    return true;
}

bool ChartPanel::exportMeasurement(const QString &path) {
    QString error;
    const bool csv = path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
    const bool withReference = model.hasReference();
    const LabSpace measuredSpace = currentLabSpace();
    const bool written =
        !model.patches().empty() &&
        (csv ? exportCsv(path, model.patches(), withReference, measuredSpace, error)
             : exportCgats(path, model.patches(), withReference, measuredSpace, error));
    if (model.patches().empty())
        error = tr("Nothing measured to export.");
    setMessage(written ? tr("Saved %1.").arg(QFileInfo(path).fileName()) : error, !written);
    return written;
}

void ChartPanel::chooseReference() {
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Load Chart Reference"), referenceDialogFolder(pictureFile),
        tr("Chart references (*.txt *.cgats *.it8 *.cie *.csv);;All files (*)"));
    if (!path.isEmpty() && loadReference(path))
        rememberChartFolder(QFileInfo(path).absolutePath());
}

void ChartPanel::chooseExport() {
    QString filter;
    QString path = QFileDialog::getSaveFileName(
        this, tr("Export Chart Measurement"), exportDialogPath(pictureFile, QStringLiteral(".txt")),
        tr("CGATS (*.txt);;CSV (*.csv)"), &filter);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += suffixForFilter(filter);
    if (exportMeasurement(path))
        rememberChartFolder(QFileInfo(path).absolutePath());
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
