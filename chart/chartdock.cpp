// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartdock.h"

#include "chartpanel.h"
#include "qimagescrollarea.h"

#include <QDockWidget>
#include <QFileInfo>
#include <QPointer>

QDockWidget *createChartDock(QCVImage *canvas, QWidget *parent) {
    auto *dock = new QDockWidget(QObject::tr("Chart"), parent);
    dock->setObjectName(QStringLiteral("chartDock"));
    dock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    dock->setWidget(new ChartPanel(canvas));
    return dock;
}

CanvasStepRunner followPicture(ChartPanel &panel, QImageScrollArea &area, CanvasStepRunner runner) {
    QObject::connect(&area, &QImageScrollArea::imageOpened, &panel,
                     [target = &panel](const QString &fileName) {
                         target->setPictureFile(QFileInfo(fileName).absoluteFilePath());
                         target->setShadingCorrected(false);
                     });
    QObject::connect(&area, &QImageScrollArea::blankImageMade, &panel, [target = &panel] {
        target->setPictureFile(QString());
        target->setShadingCorrected(false);
    });
    return [target = QPointer<ChartPanel>(&panel), canvas = QPointer<QCVImage>(area.imageCanvas()),
            runner = std::move(runner)](const QString &text, const cv::Rect &writtenInPlace,
                                        const std::function<void()> &change) {
        // Copies: the change may destroy this runner, as it may any.
        const QPointer<ChartPanel> panelToTell = target;
        const CanvasStepRunner record = runner;
        // The steps' names are the commands' own; a correction that did nothing says why.
        const bool shading = text.contains(QLatin1String("Shading Correction"));
        bool refused = false;
        QMetaObject::Connection watch;
        if (shading && canvas)
            watch = QObject::connect(canvas, &QCVImage::commandRefused,
                                     [&refused](const QString &) { refused = true; });
        runCanvasStep(record, text, writtenInPlace, change);
        QObject::disconnect(watch);
        if (shading && !refused && panelToTell)
            panelToTell->setShadingCorrected(true);
    };
}
