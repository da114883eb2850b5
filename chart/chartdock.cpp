// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartdock.h"

#include "chartpanel.h"

#include <QDockWidget>

QDockWidget *createChartDock(QCVImage *canvas, QWidget *parent) {
    auto *dock = new QDockWidget(QObject::tr("Chart"), parent);
    dock->setObjectName(QStringLiteral("chartDock"));
    dock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    dock->setWidget(new ChartPanel(canvas));
    return dock;
}
