// SPDX-License-Identifier: GPL-3.0-or-later
#include "qcolorimeterdlg.h"

#include "encodingselector.h"
#include "imageencoding.h"
#include "matconversion.h"
#include "measuredgroup.h"
#include "qcvimage.h"
#include "quad.h"
#include "seriesforecast.h"
#include "seriesoptionswidget.h"
#include "seriesrunner.h"

#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

#include <utility>

namespace {

bool sameImage(const cv::Mat &a, const cv::Mat &b) {
    return a.data == b.data && a.size == b.size && a.type() == b.type() && a.step == b.step;
}

void setTips(QWidget *widget, const QString &tip) {
    widget->setToolTip(tip);
    widget->setStatusTip(tip);
}

} // namespace

void QColorimeterDlg::CanvasChange::add(const CanvasChange &other) {
    whole = whole || other.whole;
    part |= other.part;
}

QColorimeterDlg::QColorimeterDlg()
    : setButton(new QPushButton(tr("Set Mean Lab Value"))),
      deltaButton(new QPushButton(tr("Create dE of 2 around this Value"))),
      gridButton(new QPushButton(tr("Create Lab images with dE set"))),
      stopButton(new QPushButton(tr("Stop"))), encodingSelector(new EncodingSelector),
      measuredGroup(new MeasuredGroup), seriesOptions(new SeriesOptionsWidget),
      runner(new SeriesRunner), forecastLabel(new QLabel) {
    // Wrapped lines take the panel's width; they never ask for more.
    forecastLabel->setWordWrap(true);
    forecastLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    auto *content = new QWidget;
    auto *contentLayout = new QVBoxLayout;
    contentLayout->addWidget(makeMeanLabGroup());
    contentLayout->addWidget(seriesOptions);
    contentLayout->addWidget(encodingSelector);
    contentLayout->addWidget(measuredGroup);
    contentLayout->addWidget(runner);
    contentLayout->addWidget(forecastLabel);
    // The groups keep their natural height; the empty height goes below everything.
    contentLayout->addStretch(1);
    content->setLayout(contentLayout);

    // The groups scroll inside the panel, so that its minimum size stays small whatever a line
    // of text says, and the window never grows by itself.
    auto *scroll = new QScrollArea;
    scroll->setWidget(content);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto *topLayout = new QVBoxLayout;
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->addWidget(scroll);
    setLayout(topLayout);

    forecastTimer.setSingleShot(true);
    forecastTimer.setInterval(150);
    connect(&forecastTimer, &QTimer::timeout, this, &QColorimeterDlg::updateForecast);
    for (QSpinBox *spin : {spinL, spinA, spinB})
        connect(spin, &QSpinBox::valueChanged, this, &QColorimeterDlg::scheduleForecast);
    connect(seriesOptions, &SeriesOptionsWidget::optionsChanged, this,
            &QColorimeterDlg::scheduleForecast);
    connect(runner, &SeriesRunner::runningChanged, this, &QColorimeterDlg::lockForSeries);

    connect(setButton, SIGNAL(clicked()), this, SLOT(SetMeanLab()));
    connect(deltaButton, SIGNAL(clicked()), this, SLOT(CreateDeltaImgs()));
    connect(gridButton, SIGNAL(clicked()), this, SLOT(CreateLabImgs()));
    connect(stopButton, SIGNAL(clicked()), this, SLOT(Stop()));

    addTips();
    lockedDuringSeries = {spinL,       spinA,      spinB,         setButton,
                          deltaButton, gridButton, seriesOptions, encodingSelector};
}

QColorimeterDlg::~QColorimeterDlg() = default;

QWidget *QColorimeterDlg::makeMeanLabGroup() {
    spinL = new QSpinBox;
    spinL->setMaximum(100);
    spinA = new QSpinBox;
    spinA->setMinimum(-127);
    spinA->setMaximum(127);
    spinB = new QSpinBox;
    spinB->setMinimum(-127);
    spinB->setMaximum(127);

    auto *form = new QFormLayout;
    form->addRow(new QLabel(tr("L:")), spinL);
    form->addRow(new QLabel(tr("a:")), spinA);
    form->addRow(new QLabel(tr("b:")), spinB);
    form->addRow(setButton);
    form->addRow(deltaButton);
    form->addRow(gridButton);
    form->addRow(stopButton);
    auto *group = new QGroupBox(tr("Mean Lab"));
    group->setLayout(form);
    return group;
}

void QColorimeterDlg::addTips() {
    const QString spinTip = tr("%1: the mean that \"Set Mean Lab Value\" gives the rectangle and "
                               "the centre of \"Create dE of 2 around this Value\"; for \"Create "
                               "Lab images with dE set\" it is the grid's step in %1.");
    setTips(spinL, spinTip.arg(QStringLiteral("L*")));
    setTips(spinA, spinTip.arg(QStringLiteral("a*")));
    setTips(spinB, spinTip.arg(QStringLiteral("b*")));
    setTips(setButton, tr("Re-colour the rectangle drawn dashed orange, from corner 0 to the x of "
                          "corner 3 and the y of corner 1, to the mean L*, a*, b* above"));
    setTips(stopButton, tr("Stop the series after the images in hand; the files and manifest "
                           "written so far stay"));
    // The series buttons' tips say what they write; updateForecast() fills them.
    updateForecast();
}

void QColorimeterDlg::SetCVImage(QCVImage *image) {
    cvImage = image;
    measuredGroup->setCanvas(image);
    if (!image)
        return;
    connect(image, &QCVImage::cornersChanged, this, &QColorimeterDlg::scheduleForecast);
    connect(image, &QCVImage::imageChanged, this, &QColorimeterDlg::imageChanged);
    scheduleForecast();
}

bool QColorimeterDlg::isSeriesRunning() const {
    return runner->isRunning();
}

const QColorimeterDlg::SeriesReport &QColorimeterDlg::lastSeriesReport() const {
    return runner->report();
}

void QColorimeterDlg::setMessageBoxesShown(bool shown) {
    runner->setMessageBoxesShown(shown);
}

void QColorimeterDlg::imageChanged() {
    // A finished series' line belongs to the picture it left.
    if (!adjustingForSeries)
        runner->clearStatus();
    scheduleForecast();
}

void QColorimeterDlg::scheduleForecast() {
    forecastTimer.start();
}

void QColorimeterDlg::updateForecast() {
    const LabValue values{spinL->value(), spinA->value(), spinB->value()};
    const SeriesPlan grid{SeriesPlan::Kind::Grid, values};
    const SeriesPlan delta{SeriesPlan::Kind::Delta, values};
    const bool hasImage = cvImage && !cvImage->isCurrentImageEmpty();
    const cv::Mat image = hasImage ? cvImage->image(true, -1, false) : cv::Mat();
    const Quad quad = hasImage ? quadFromPoints(cvImage->cornerPoints(false)) : Quad();
    const SeriesOptions options = seriesOptions->options();
    const SeriesForecast gridForecast = forecastSeries(image, quad, grid, options);
    const SeriesForecast deltaForecast = forecastSeries(image, quad, delta, options);

    const QString gridTip =
        gridForecast.files > 0
            ? tr("Write a grid of reference images, reading L, a and b above as the steps: %1 "
                 "(%2), to %3")
                  .arg(gridForecast.sizeText(), gridForecast.range, gridForecast.folder)
            : tr("Write a grid of reference images, reading L, a and b above as the steps; "
                 "each step must be positive");
    setTips(gridButton, gridTip);
    setTips(deltaButton,
            tr("Write reference images in steps of 2 around L, a and b above: %1 "
               "(%2), to %3")
                .arg(deltaForecast.sizeText(), deltaForecast.range, deltaForecast.folder));
    if (!hasImage) {
        forecastLabel->clear();
        return;
    }
    const auto line = [&](const QString &kind, const SeriesForecast &forecast) {
        return tr("Next %1 series: %2 in %3.").arg(kind, forecast.sizeText(), forecast.folder);
    };
    QStringList lines;
    lines << (gridForecast.files > 0 ? line(tr("grid"), gridForecast)
                                     : tr("Next grid series: the steps must be positive."));
    lines << line(tr("delta"), deltaForecast);
    forecastLabel->setText(lines.join(QLatin1Char('\n')));
}

void QColorimeterDlg::setLabValues(int l, int a, int b) {
    spinL->setValue(l);
    spinA->setValue(a);
    spinB->setValue(b);
}

void QColorimeterDlg::reject() {
    if (isWindow())
        QDialog::reject();
}

void QColorimeterDlg::SetMeanLab() {
    const LabCodes codes = labCodes({spinL->value(), spinA->value(), spinB->value()});
    SetLab(codes.l, codes.a, codes.b);
}

void QColorimeterDlg::SetLab(int nL, int nA, int nB) {
    if (isSeriesRunning())
        return;
    runCanvasStep(stepRunner, tr("Set Mean Lab Value"), partAdjustedInPlace(), [&] {
        if (const std::optional<CanvasChange> change = adjustCanvas({nL, nA, nB}))
            showChange(*change);
        else
            emit commandRefused(tr("Set Mean Lab Value: %1").arg(adjustmentObstacle()));
    });
}

void QColorimeterDlg::CreateLabImgs() {
    if (isSeriesRunning())
        return;
    const LabValue steps{spinL->value(), spinA->value(), spinB->value()};
    const QStringList refused = nonPositiveGridSteps(steps);
    if (!refused.isEmpty()) {
        QStringList lines;
        for (const QString &channel : refused)
            lines << tr("The %1 step must be positive.").arg(channel);
        runner->refuse(0, lines.join(QLatin1Char('\n')));
        return;
    }
    runSeries({SeriesPlan::Kind::Grid, steps});
}

void QColorimeterDlg::CreateDeltaImgs() {
    if (isSeriesRunning())
        return;
    const LabValue centre{spinL->value(), spinA->value(), spinB->value()};
    runSeries({SeriesPlan::Kind::Delta, centre});
}

void QColorimeterDlg::Stop() {
    runner->stop();
}

bool QColorimeterDlg::currentImageIsWorkImage() const {
    return resultCount > 0 && adjustment.isBound() &&
           sameImage(cvImage->image(true, -1, false), adjustment.workImage());
}

cv::Rect QColorimeterDlg::partAdjustedInPlace() const {
    // After a change of encoding or profile the work image is replaced, not written.
    if (!cvImage || !currentImageIsWorkImage() || adjustment.labSpace() != currentLabSpace())
        return {};
    const cv::Mat &current = cvImage->image(true, -1, false);
    const cv::Rect rect = rectFromCorners013(quadFromPoints(cvImage->cornerPoints(false)));
    return (adjustment.lastAdjustedRect() | rect) & cv::Rect(0, 0, current.cols, current.rows);
}

std::optional<QColorimeterDlg::CanvasChange> QColorimeterDlg::adjustCanvas(const LabCodes &target) {
    return adjustCanvas(cv::Vec3d(target.l, target.a, target.b), CodeRounding::Truncate);
}

std::optional<QColorimeterDlg::CanvasChange> QColorimeterDlg::adjustCanvas(const cv::Vec3d &target,
                                                                           CodeRounding rounding) {
    if (!cvImage || cvImage->isCurrentImageEmpty())
        return std::nullopt;
    const cv::Mat current = cvImage->image(true, -1, false);
    const cv::Rect rect = rectFromCorners013(quadFromPoints(cvImage->cornerPoints(false)));
    if (!rectInside(rect, current.size()))
        return std::nullopt;

    // In the ICC mode the space holds the shown picture's profile, so a new profile binds afresh.
    const LabSpace space = currentLabSpace();
    const bool showsWorkImage = currentImageIsWorkImage();
    if (showsWorkImage && adjustment.labSpace() == space) {
        const std::optional<cv::Rect> changed = adjustment.adjust(rect, target, rounding);
        if (!changed)
            return std::nullopt;
        return CanvasChange{false, *changed};
    }

    // First adjustment, or the canvas shows another image since: bind to that one. The
    // encoding changed while the work image is shown: bind its untouched source afresh, in the
    // work image's place.
    MeanLabAdjustment fresh;
    if (!fresh.bind(showsWorkImage ? adjustment.source() : current, space) ||
        !fresh.adjust(rect, target, rounding))
        return std::nullopt;
    adjustment = std::move(fresh);
    // The panel's own lists hold the working pair only: a pair it has left would keep two
    // full-size images alive that nothing reads again.
    if (resultCount == 0) {
        pushImage(adjustment.source(), true);
        pushImage(adjustment.workImage(), false);
    } else {
        image(true, -1, false) = adjustment.source();
        image(false, -1, false) = adjustment.workImage();
    }
    if (showsWorkImage)
        cvImage->image(true, -1, false) = image(false, -1, false);
    else
        cvImage->pushImage(image(false, -1, false), true);
    return CanvasChange{true, cv::Rect()};
}

void QColorimeterDlg::showChange(const CanvasChange &change) {
    if (change.whole)
        cvImage->showCurrentImage();
    else if (!change.part.empty())
        cvImage->showCurrentImage(change.part);
}

QString QColorimeterDlg::seriesObstacle() const {
    if (!cvImage || cvImage->isCurrentImageEmpty())
        return tr("There is no image to re-colour.");
    const cv::Size size = cvImage->image(true, -1, false).size();
    const Quad quad = quadFromPoints(cvImage->cornerPoints(false));
    const cv::Rect recoloured = rectFromCorners013(quad);
    if (!rectInside(recoloured, size))
        return tr("The corners do not form a rectangle inside the image to re-colour: corner 0 "
                  "must lie left of corner 3 and above corner 1.");
    // Every file would hold the untouched image under a name that claims a Lab value.
    if (recoloured.empty())
        return tr("The rectangle to re-colour, from corner 0 to the x of corner 3 and the y of "
                  "corner 1, is empty (%1 x %2 pixels): corner 3 must lie to the right of corner "
                  "0 and corner 1 below it.")
            .arg(recoloured.width)
            .arg(recoloured.height);
    const cv::Rect saved = rectFromCorners02(quad);
    if (saved.empty() || !rectInside(saved, size))
        return tr("The rectangle from corner 0 to corner 2, which the files hold, is empty or "
                  "does not lie inside the image.");
    const int type = cvImage->image(true, -1, false).type();
    const int depth = CV_MAT_DEPTH(type);
    if (depth == CV_8S || depth == CV_16S || depth == CV_32S)
        return tr("The image holds %1 samples, which the series cannot re-colour into its "
                  "8-bit files; save it as TIFF (.tif) to keep them.")
            .arg(sampleTypeName(type));
    if (!convertsToBgr8(type))
        return tr("The image is of a type that cannot be re-coloured.");
    return {};
}

QString QColorimeterDlg::adjustmentObstacle() const {
    if (!cvImage || cvImage->isCurrentImageEmpty())
        return tr("there is no image to re-colour");
    const cv::Rect rect = rectFromCorners013(quadFromPoints(cvImage->cornerPoints(false)));
    if (!rectInside(rect, cvImage->image(true, -1, false).size()))
        return tr("the corners are crossed: corner 0 must lie left of corner 3 and above "
                  "corner 1");
    if (!convertsToBgr8(cvImage->image(true, -1, false).type()))
        return tr("the image is of a type that cannot be re-coloured");
    return tr("there is not enough memory to re-colour the image");
}

SeriesRequest QColorimeterDlg::seriesRequest(const SeriesPlan &plan) const {
    SeriesRequest request;
    // The untouched source: the series re-colours from it as the adjustment does.
    request.image =
        currentImageIsWorkImage() ? adjustment.source() : cvImage->image(true, -1, false);
    request.corners = quadFromPoints(cvImage->cornerPoints(false));
    request.plan = plan;
    request.options = seriesOptions->options();
    const LabSpace space = currentLabSpace();
    request.options.encoding = space.encoding();
    request.options.profile = space.profile();
    return request;
}

void QColorimeterDlg::runSeries(const SeriesPlan &plan) {
    const QString obstacle = seriesObstacle();
    if (!obstacle.isEmpty())
        return runner->refuse(plan.size(), obstacle);
    const SeriesRequest request = seriesRequest(plan);
    if (!runner->confirm(forecastSeries(request.image, request.corners, plan, request.options)))
        return;

    const CodeRounding rounding =
        request.options.precise ? CodeRounding::Nearest : CodeRounding::Truncate;
    const QPointer<QColorimeterDlg> alive(this);
    std::optional<SeriesResult> result;
    // The whole series is one step: the canvas ends on its last image.
    runCanvasStep(stepRunner, tr("Reference series"), partAdjustedInPlace(), [&] {
        result = runner->execute(request, [this, rounding](const cv::Vec3d &codes) {
            showSeriesImage(codes, rounding);
        });
    });
    // Closed while the series ran: nothing of the panel is left to report to.
    if (alive && result)
        runner->finish(*result);
}

void QColorimeterDlg::showSeriesImage(const cv::Vec3d &target, CodeRounding rounding) {
    adjustingForSeries = true;
    if (const std::optional<CanvasChange> change = adjustCanvas(target, rounding))
        showChange(*change);
    adjustingForSeries = false;
}

void QColorimeterDlg::lockForSeries(bool running) {
    for (QWidget *widget : std::as_const(lockedDuringSeries))
        widget->setEnabled(!running);
    emit seriesRunningChanged(running);
}
