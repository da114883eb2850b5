// SPDX-License-Identifier: GPL-3.0-or-later
#include "qimagescrollarea.h"

#include "savename.h"
#include "viewnavigation.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

const char *const startupImage = "C:/Images-Acquisitions/20130304_kleurmetingen/DSC_1245.tif";
const int shadingCellSize = 100;
const QSize newImageSize(1024, 768);
const int newImageGrey = 128;

} // namespace

QImageScrollArea::QImageScrollArea(bool loadStartupImage) : printer(QPrinter::ScreenResolution) {
    canvas.setBackgroundRole(QPalette::Base);
    canvas.setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    canvas.setScaledContents(true);

    setBackgroundRole(QPalette::Dark);
    setAlignment(Qt::AlignCenter);
    setWidget(&canvas);

    createActions();

    if (loadStartupImage)
        canvas.loadImage(startupImagePath());
    updateActions();
    canvas.showCurrentImage();
}

QString QImageScrollArea::startupImagePath() {
    return QString::fromLatin1(startupImage);
}

QString QImageScrollArea::imageFileFilter() {
    return tr("img (*.tif *.tiff *.png *.bmp *.jpg *.jpeg *.jp2 *.pbm *.sr *.ras)");
}

void QImageScrollArea::createActions() {
    printAct = new QAction(QIcon(QStringLiteral(":/images/print.png")), tr("&Print..."), this);
    printAct->setShortcuts(QKeySequence::Print);
    printAct->setStatusTip(tr("Print the current image"));
    printAct->setEnabled(false);
    connect(printAct, SIGNAL(triggered()), this, SLOT(print()));

    zoomInAct = createViewAction(tr("Zoom &In (25%)"), tr("Ctrl++"), SLOT(zoomIn()));
    // Ctrl+= is Ctrl++ without Shift on most keyboards.
    zoomInAct->setShortcuts({QKeySequence(tr("Ctrl++")), QKeySequence(tr("Ctrl+="))});
    zoomOutAct = createViewAction(tr("Zoom &Out (25%)"), tr("Ctrl+-"), SLOT(zoomOut()));
    // Ctrl+S belongs to Save; one key on two actions would make both dead.
    normalSizeAct = createViewAction(tr("&Normal Size"), tr("Ctrl+0"), SLOT(normalSize()));
    fitToWindowAct = createViewAction(tr("&Fit to Window"), tr("Ctrl+F"), SLOT(fitToWindow()));
    fitToWindowAct->setCheckable(true);
    zoomToFitAct = createViewAction(tr("&Zoom to Fit"), tr("Ctrl+Shift+F"), SLOT(zoomToFit()));
    zoomToFitAct->setCheckable(true);
    zoomToFitAct->setStatusTip(
        tr("Show the whole picture undistorted, as large as the view holds"));

    warpAndShadingAct = new QAction(tr("Warp and Shading Correction"), this);
    warpAndShadingAct->setShortcut(QKeySequence(Qt::Key_W));
    warpAndShadingAct->setStatusTip(
        tr("Warp the quadrilateral to a rectangle, then correct the shading, as one step"));
    connect(warpAndShadingAct, &QAction::triggered, this, &QImageScrollArea::warpAndShading);

    connect(horizontalScrollBar(), SIGNAL(valueChanged(int)), this,
            SLOT(slotSliderH_ValueChanged(int)));
    connect(verticalScrollBar(), SIGNAL(valueChanged(int)), this,
            SLOT(slotSliderV_ValueChanged(int)));
}

QAction *QImageScrollArea::createViewAction(const QString &text, const QString &shortcut,
                                            const char *slot) {
    auto *action = new QAction(text, this);
    action->setShortcut(QKeySequence(shortcut));
    action->setEnabled(false);
    connect(action, SIGNAL(triggered()), this, slot);
    return action;
}

QMenu *QImageScrollArea::createImageMenu() {
    imageMenu = new QMenu(tr("&Image"), this);
    imageMenu->addAction(zoomInAct);
    imageMenu->addAction(zoomOutAct);
    imageMenu->addAction(normalSizeAct);
    imageMenu->addAction(fitToWindowAct);
    imageMenu->addAction(printAct);
    return imageMenu;
}

void QImageScrollArea::setImageCommandsEnabled(bool enabled) {
    imageCommandsEnabled = enabled;
    canvas.setEnabled(enabled);
}

void QImageScrollArea::updateActions() {
    const bool fitted = fitToWindowAct->isChecked();
    if (!fitted)
        canvas.adjustSize();
    printAct->setEnabled(true);
    fitToWindowAct->setEnabled(true);
    zoomToFitAct->setEnabled(true);
    zoomInAct->setEnabled(!fitted);
    zoomOutAct->setEnabled(!fitted);
    normalSizeAct->setEnabled(!fitted);
}

void QImageScrollArea::scaleImage(double factor) {
    if (canvas.isCurrentImageEmpty())
        return;
    leaveZoomToFit();
    // Beyond what a widget can measure the canvas size would overflow; such steps are refused.
    const QSizeF zoomed = QSizeF(canvas.shownPixmap.size()) * (canvas.scaleFactor * factor);
    if (std::max(zoomed.width(), zoomed.height()) > QWIDGETSIZE_MAX ||
        std::min(zoomed.width(), zoomed.height()) < 1.0)
        return;
    zoomKeepingCentre(factor, [this, factor] { canvas.scaleBy(factor); });
}

void QImageScrollArea::zoomKeepingCentre(double factor, const std::function<void()> &resize) {
    // The positions are read before the resize: a shrinking range would clamp them first and
    // move the centre.
    QScrollBar *horizontal = horizontalScrollBar();
    QScrollBar *vertical = verticalScrollBar();
    const int horizontalValue = horizontal->value();
    const int verticalValue = vertical->value();
    resize();
    if (factor != 1.0) {
        adjustScrollBar(horizontal, horizontalValue, factor);
        adjustScrollBar(vertical, verticalValue, factor);
    }
}

void QImageScrollArea::adjustScrollBar(QScrollBar *scrollBar, int value, double factor) {
    const double moved = factor * value + (factor - 1) * scrollBar->pageStep() / 2;
    scrollBar->setValue(static_cast<int>(moved));
}

void QImageScrollArea::resetZoom() {
    // While fitted the scroll area owns the canvas's size; only the factor returns to 100 %.
    if (fitToWindowAct->isChecked())
        canvas.scaleFactor = 1.0;
    else if (zoomToFitAct->isChecked())
        fitKeepingAspect();
    else
        canvas.setScale(1.0);
}

void QImageScrollArea::fitKeepingAspect() {
    const QSize picture = canvas.shownPixmap.size();
    if (picture.isEmpty())
        return;
    const QSize fitted = picture.scaled(viewport()->size(), Qt::KeepAspectRatio);
    if (fitted.isEmpty())
        return;
    // The side that meets the view is exact; the other one is rounded.
    canvas.scaleFactor = fitted.width() == viewport()->width()
                             ? static_cast<double>(fitted.width()) / picture.width()
                             : static_cast<double>(fitted.height()) / picture.height();
    canvas.resize(fitted);
}

void QImageScrollArea::leaveZoomToFit() {
    zoomToFitAct->setChecked(false);
    showScrollBarsWhileFitting(false);
}

void QImageScrollArea::showScrollBarsWhileFitting(bool fitting) {
    // The fitted picture never needs them, and scroll bars coming and going would change the
    // size it is fitted to.
    const Qt::ScrollBarPolicy policy = fitting ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    setHorizontalScrollBarPolicy(policy);
    setVerticalScrollBarPolicy(policy);
}

void QImageScrollArea::zoomToFit() {
    if (!zoomToFitAct->isChecked()) {
        leaveZoomToFit();
        showAtNaturalSize();
        return;
    }
    if (fitToWindowAct->isChecked()) {
        fitToWindowAct->setChecked(false);
        fitToWindow();
    }
    showScrollBarsWhileFitting(true);
    fitKeepingAspect();
}

void QImageScrollArea::resizeEvent(QResizeEvent *event) {
    QScrollArea::resizeEvent(event);
    if (zoomToFitAct->isChecked())
        fitKeepingAspect();
}

void QImageScrollArea::showAtNaturalSize() {
    zoomKeepingCentre(1.0 / canvas.scaleFactor, [this] { canvas.setScale(1.0); });
}

void QImageScrollArea::zoomIn() {
    scaleImage(1.25);
}

void QImageScrollArea::zoomOut() {
    scaleImage(0.8);
}

void QImageScrollArea::normalSize() {
    leaveZoomToFit();
    showAtNaturalSize();
}

void QImageScrollArea::fitToWindow() {
    const bool fitted = fitToWindowAct->isChecked();
    if (fitted)
        leaveZoomToFit();
    setWidgetResizable(fitted);
    if (!fitted)
        canvas.setScale(1.0);
    updateActions();
}

void QImageScrollArea::wheelEvent(QWheelEvent *event) {
    const int degrees = event->angleDelta().y() / 8;
    scaleImage(std::pow(1.25, degrees / 15.0));
    event->accept();
}

void QImageScrollArea::keyPressEvent(QKeyEvent *event) {
    // Every key ends here: W corrects, the navigation keys scroll, the others do nothing.
    if (event->key() == Qt::Key_W) {
        // Reached only where the W action is in no visible menu.
        warpAndShading();
    } else {
        scrollForKey(event->key(), *horizontalScrollBar(), *verticalScrollBar());
    }
    event->accept();
}

void QImageScrollArea::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::MiddleButton)
        panOrigin = event->globalPosition().toPoint();
    event->accept();
}

void QImageScrollArea::mouseMoveEvent(QMouseEvent *event) {
    if (event->buttons() & Qt::MiddleButton) {
        const QPoint position = event->globalPosition().toPoint();
        panBy(position - panOrigin, *horizontalScrollBar(), *verticalScrollBar());
        panOrigin = position;
    }
    event->accept();
}

void QImageScrollArea::mouseReleaseEvent(QMouseEvent *event) {
    event->accept();
}

void QImageScrollArea::warp() {
    if (imageCommandsEnabled)
        runCanvasStep(stepRunner, tr("Warp"), cv::Rect(), [this] { canvas.warpCurrentImage(); });
}

void QImageScrollArea::shading() {
    if (imageCommandsEnabled)
        runCanvasStep(stepRunner, tr("Shading Correction"), cv::Rect(),
                      [this] { canvas.correctShading(shadingCellSize); });
}

void QImageScrollArea::warpAndShading() {
    if (imageCommandsEnabled)
        runCanvasStep(stepRunner, warpAndShadingAct->text(), cv::Rect(), [this] {
            canvas.warpCurrentImage();
            canvas.correctShading(shadingCellSize);
        });
}

void QImageScrollArea::fitCanvasToPicture() {
    if (zoomToFitAct->isChecked())
        fitKeepingAspect();
    else if (!fitToWindowAct->isChecked())
        canvas.setScale(canvas.scaleFactor);
}

void QImageScrollArea::newSlot() {
    if (!imageCommandsEnabled)
        return;
    const cv::Mat &current = canvas.image(true, -1, false);
    const cv::Size size =
        current.empty() ? cv::Size(newImageSize.width(), newImageSize.height()) : current.size();
    runCanvasStep(stepRunner, tr("New image"), cv::Rect(), [this, size] {
        canvas.setPictureProfile(nullptr);
        canvas.showNewImage(cv::Mat(size, CV_8UC3, cv::Scalar::all(newImageGrey)));
    });
    resetZoom();
    updateActions();
    emit blankImageMade();
}

void QImageScrollArea::openSlot() {
    if (!imageCommandsEnabled)
        return;
    const QString fileName = QFileDialog::getOpenFileName(
        this, tr("Open File"), openFolder.isEmpty() ? QDir::currentPath() : openFolder,
        imageFileFilter());
    if (!fileName.isEmpty())
        openFile(fileName);
}

bool QImageScrollArea::openFile(const QString &fileName) {
    if (!imageCommandsEnabled)
        return false;
    bool loaded = false;
    runCanvasStep(stepRunner, tr("Open"), cv::Rect(),
                  [this, &fileName, &loaded] { loaded = canvas.loadImage(fileName); });
    if (!loaded) {
        QString text = tr("Cannot load Error %1.").arg(fileName);
        if (!canvas.lastLoadError().isEmpty())
            text += QLatin1Char('\n') + canvas.lastLoadError();
        QMessageBox::information(this, tr("QVexmira"), text, QMessageBox::Ok);
        return false;
    }
    openFolder = QFileInfo(fileName).absolutePath();
    resetZoom();
    updateActions();
    canvas.showCurrentImage();
    emit imageOpened(fileName);
    return true;
}

void QImageScrollArea::setDialogFolders(const QString &openDialogFolder,
                                        const QString &saveDialogFolder) {
    openFolder = openDialogFolder;
    saveFolder = saveDialogFolder;
}

void QImageScrollArea::saveSlot() {
    saveWithDialog();
}

bool QImageScrollArea::saveWithDialog() {
    const QString folder = saveFolder.isEmpty() ? QStringLiteral(".") : saveFolder;
    const QString proposed = proposedSaveName(pictureFile, QDir::homePath());
    const QString fileName = QFileDialog::getSaveFileName(
        this, tr("Choose a file name"), proposed.isEmpty() ? folder : proposed, imageFileFilter());
    if (fileName.isEmpty())
        return false;
    const cv::Rect written = canvas.savedRect();
    if (canvas.saveImage(fileName)) {
        saveFolder = QFileInfo(fileName).absolutePath();
        emit imageSaved(fileName, QSize(written.width, written.height));
        return true;
    }
    // The message ends the cause with its own full stop.
    QString cause = canvas.lastSaveError();
    if (cause.endsWith(QLatin1Char('.')))
        cause.chop(1);
    QMessageBox::warning(this, tr("Vexmira"), tr("Cannot write file %1:\n%2.").arg(fileName, cause),
                         QMessageBox::Ok);
    return false;
}

void QImageScrollArea::print() {
    QPrintDialog dialog(&printer, this);
    if (dialog.exec())
        printPicture(printer);
}

void QImageScrollArea::printPicture(QPrinter &target) {
    QPainter painter(&target);
    const QPixmap picture = canvas.pixmap();
    if (picture.isNull())
        return;
    const QRect area = painter.viewport();
    QSize size = picture.size();
    size.scale(area.size(), Qt::KeepAspectRatio);
    painter.setViewport(area.x(), area.y(), size.width(), size.height());
    painter.setWindow(picture.rect());
    painter.drawPixmap(QPointF(0, 0), picture);
}

void QImageScrollArea::slotSliderH_ValueChanged(int) {
}

void QImageScrollArea::slotSliderV_ValueChanged(int) {
}
