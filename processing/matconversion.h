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
// CV_8UC1 -> Format_Indexed8 with a 256-entry grey table. Copies no pixels: the picture reads
// the matrix's buffer, keeps it alive, and is read-only (a write detaches a copy), so pixels
// written into the matrix later show through it.
QImage qImageFromGray8(const cv::Mat &mat);

// A picture over the matrix's own pixels, without a copy, for the types whose bytes a QImage format
// takes as they are: CV_8UC3 as Format_BGR888, CV_8UC1 as Format_Grayscale8. It keeps the buffer
// alive and shows what is written into the matrix later; it is read-only (a write through it
// detaches a copy). A null QImage for any other type or an empty matrix.
QImage qImageViewOfMat(const cv::Mat &mat);

// Any type the file reader delivers: 8- and 16-bit with one, three or four channels, 32- and
// 64-bit float with one, three or four channels, as toBgr8 shows them. A null QImage for any
// other type or an empty matrix; every non-null picture is opaque.
QImage qImageFromMat(const cv::Mat &mat);

// Brings 16-bit and float data to 8 bits with the channels kept: 16-bit divided by 257
// (rounded), float x 255 truncated and saturated to 0..255. 8-bit input is returned as it is
// (shared); empty for any other depth.
cv::Mat depthTo8Bit(const cv::Mat &mat);

// Brings any displayable image to 8-bit blue-green-red, as it is shown: depthTo8Bit, grey copied
// into three channels, alpha dropped. An 8-bit three-channel input is returned as it is
// (shared). Empty for a type that cannot be shown.
cv::Mat toBgr8(const cv::Mat &mat);

// Whether toBgr8 takes matrices of this type.
bool convertsToBgr8(int type);
