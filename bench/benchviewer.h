// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <opencv2/core/mat.hpp>

#include <memory>

class QCVImage;
class QImageScrollArea;

// A viewer window as the user has it: 1280 x 800 pixels, shown and exposed, so that every
// repaint of the canvas really paints.
std::unique_ptr<QImageScrollArea> shownViewer();

// Empties the canvas's store, makes `picture` its only image, shown at 100 %, and puts the
// corners on `rect`.
void holdPicture(QCVImage &canvas, const cv::Mat &picture, const cv::Rect &rect);

// The corner quadrilateral of an axis-parallel rectangle.
void setCornersOnRect(QCVImage &canvas, const cv::Rect &rect);
