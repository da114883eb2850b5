// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "colourprofile.h"
#include "cvprocessing.h"

#include <QLabel>
#include <QImage>
#include <QPixmap>
#include <QPointF>
#include <QString>

#include <functional>
#include <vector>

class QPainter;

// The canvas: shows the store's current image and the corner quadrilateral over it, and lets the
// user drag single corners (handles 0-3) or the whole quadrilateral (handle 4).
class QCVImage : public QLabel, public CVProcessing {
    Q_OBJECT

public:
    QCVImage();
    ~QCVImage() override;

    // Makes the current image the picture and repaints at once. An image of a type that cannot
    // be shown clears the picture. 8-bit BGR and grey images are shown as they are, without a
    // pass over their pixels: the picture reads the matrix, so what is later written into it
    // shows at the next paint, and each paint converts only the part it draws. Other types are
    // converted once, here, to 8 bits. A colour-managed picture is brought to the screen's
    // colours as it is painted, at the painted size.
    void showCurrentImage();
    // After a write into `changed` (image pixels) of the current image: repaints just that part
    // when the picture reads the current image's pixels, otherwise the same as
    // showCurrentImage().
    void showCurrentImage(const cv::Rect &changed);

    // Reads the picture and the profile its file carries; a profile left out is told by
    // lastProfileProblem().
    bool loadImage(const QString &fileName);
    // Why the last loadImage failed, in words for the user.
    QString lastLoadError() const { return loadError; }
    // Why the last loadImage opened the picture without the profile its file carries; empty
    // when nothing was left out.
    QString lastProfileProblem() const { return profileProblem; }

    // The ICC profile of the current picture; null for none.
    const ColourProfilePtr &pictureProfile() const { return profile; }
    // Gives the current picture `newProfile` (null: none) without changing a pixel, and makes it
    // the profile every Lab step reads. Shown at the next showCurrentImage().
    void setPictureProfile(ColourProfilePtr newProfile);
    // Makes a non-empty image the current one, with the corners on its inner quarter, and
    // shows it; false for an empty image.
    bool showNewImage(const cv::Mat &image);
    // Writes the rectangle from corner 0 to corner 2 (savedRect()); in the ICC mode with the
    // picture's profile (sRGB for none) in the formats that carry one.
    bool saveImage(const QString &fileName);
    cv::Rect savedRect() const;
    // Why the last saveImage failed, in words for the user.
    QString lastSaveError() const { return saveError; }

    // Multiplies scaleFactor and resizes the canvas to the picture's size times it.
    void scaleBy(double factor);
    // Sets scaleFactor and resizes the canvas to the picture's size times it.
    void setScale(double factor);

    // Widget pixels per image pixel along each axis, from the canvas's actual size: follows
    // the zoom, and the stretch while the scroll area fits the picture to the window.
    QPointF displayScale() const;

    void trackMouse(int x, int y, Qt::MouseButtons buttons);

    void warpCurrentImage();
    void correctShading(int cellSize);

    // Draws over the picture under the quadrilateral, in widget pixels; `scale` is displayScale().
    using OverlayPainter = std::function<void(QPainter &painter, const QPointF &scale)>;
    void addOverlayPainter(OverlayPainter overlayPainter);

    QPixmap shownPixmap;
    double scaleFactor = 1.0;
    int lastX = 0;
    int lastY = 0;
    int hoverHandle = 5;
    int dragHandle = 5;

signals:
    // The corners moved: dragged, or placed anew with a new or warped image.
    void cornersChanged();
    // The current image was shown after a change of its pixels or a new current image.
    void imageChanged();
    // The mouse is over this image pixel of the picture.
    void hoveredPixelChanged(const QPoint &pixel);
    // The mouse left the picture, or the canvas.
    void hoverLeft();
    // The current picture was given another profile (null: none).
    void pictureProfileChanged(const ColourProfilePtr &profile);
    // A command did nothing, for this reason.
    void commandRefused(const QString &reason);

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // The matrix whose pixels the picture reads; empty when the picture is a converted copy made
    // once.
    cv::Mat viewedImage;
    // The profile the picture is converted from as it is painted; null: painted as it is.
    ColourProfilePtr shownFrom;
    // Where a colour-managed paint converts the painted pixels.
    QImage paintBuffer;
    ColourProfilePtr profile;
    QString profileProblem;
    QString loadError;
    QString saveError;
    std::vector<OverlayPainter> overlayPainters;
};
