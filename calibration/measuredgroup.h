// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "labmeasurement.h"

#include <QGroupBox>
#include <QPointer>

#include <optional>

class QCVImage;
class QLabel;
class QPushButton;
class QTimer;

// The "Measured" group: the mean and standard deviation of L*, a* and b* and the pixel count of
// the rectangle that "Set Mean Lab Value" re-colours, measured in floating point on the canvas's
// current image under the current encoding. Follows the corners, the image and the encoding,
// refreshing at most once per interval and always on the last state; "–" and no Copy when the
// rectangle is empty or not inside the image.
class MeasuredGroup : public QGroupBox {
    Q_OBJECT

public:
    static constexpr int refreshIntervalMs = 40;

    explicit MeasuredGroup(QWidget *parent = nullptr);

    void setCanvas(QCVImage *canvas);

    const std::optional<LabStats> &shownStats() const { return stats; }

public slots:
    // Refreshes now when the last refresh is an interval ago, otherwise at the interval's end.
    void requestRefresh();
    // Puts measurementLine() of the shown statistics on the clipboard.
    void copy();

private:
    void refresh();
    void show(const std::optional<LabStats> &measured);

    QPointer<QCVImage> canvas;
    std::optional<LabStats> stats;
    QTimer *throttle;
    bool refreshPending = false;
    QLabel *values[3];
    QLabel *pixels;
    QPushButton *copyButton;
};
