// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QWidget>

#include <optional>

class QImageScrollArea;
class QLabel;

// The status bar's permanent read-out of the viewer: the cursor's position in image pixels, the
// stored values of the pixel under it, its L*a*b* under the current encoding, the zoom ("Fit"
// while the picture fits the window) and the image's size, depth and channels. The pixel's
// fields are empty while the cursor is off the picture; all follow image changes.
class ImageReadout : public QWidget {
    Q_OBJECT

public:
    explicit ImageReadout(QImageScrollArea *viewer, QWidget *parent = nullptr);

    QString positionText() const;
    QString valuesText() const;
    QString labText() const;
    QString zoomText() const;
    QString formatText() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void hover(const QPoint &pixel);
    void leave();
    void refreshPixel();
    void refreshImage();

    QImageScrollArea *viewer;
    std::optional<QPoint> hovered;
    QLabel *position;
    QLabel *values;
    QLabel *lab;
    QLabel *zoom;
    QLabel *format;
};
