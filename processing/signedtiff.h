// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <opencv2/core/mat.hpp>

#include <vector>

// A baseline uncompressed TIFF file of a signed-integer image (8, 16 or 32 bits, one to four
// channels, colour in blue-green-red order), its samples kept as they are. The image library's
// own TIFF writer takes signed samples only in one channel. Empty when the image is of another
// type or too large for a TIFF file's 32-bit offsets.
std::vector<uchar> encodeSignedTiff(const cv::Mat &image);
