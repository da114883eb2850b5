// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <opencv2/core/mat.hpp>

// The one bridge from cv::Mat to QImage. Colour matrices are in blue-green-red byte order; every
// row is read at the matrix's own row step, so padded rows and sub-matrix views convert as they
// are. The returned pictures own their pixels unless said otherwise.

// CV_8UC3 -> Format_ARGB32, alpha 255.
QImage qImageFromBgr8(const cv::Mat &mat);
// CV_64FC1 -> Format_ARGB32, grey = value x 255 truncated and saturated to 0..255.
QImage qImageFromGray64F(const cv::Mat &mat);
// CV_8UC1 -> Format_Indexed8 with a 256-entry grey table.
QImage qImageFromGray8(const cv::Mat &mat);

// Any type the file reader delivers: 8- and 16-bit with one, three or four channels, 32- and
// 64-bit float with one or three channels (16-bit is scaled to 8 bits, float shown as a
// CV_64FC1 image is). A null QImage for any other type or an empty matrix.
QImage qImageFromMat(const cv::Mat &mat);

// Brings any displayable image to 8-bit blue-green-red, as it is shown: 16-bit divided by 257
// (rounded), grey copied into three channels, float x 255 saturated, alpha dropped. An 8-bit
// three-channel input is returned as it is (shared). Empty for a type that cannot be shown.
cv::Mat toBgr8(const cv::Mat &mat);
