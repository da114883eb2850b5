// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <opencv2/core/mat.hpp>

#include <vector>

// The rules for floating-point samples and for the formats made for them: TIFF, PFM, Radiance
// HDR and OpenEXR keep floats; every other format would flatten them, so they are refused there.

bool isFloatDepth(int depth);

// Why a file with this suffix (lower case, no dot) cannot hold `part`; empty when it can. Also
// covers what PFM, HDR and OpenEXR files hold whatever the depth: their channel counts, HDR's
// lack of negative values, OpenEXR's floats only.
QString floatFormatRefusal(const cv::Mat &part, const QString &suffix);

// Float samples as the writer for the suffix takes them: 32-bit, except one-channel 64-bit in
// TIFF. Other samples are returned as they are.
cv::Mat floatSamplesForWriter(const cv::Mat &part, const QString &suffix);

// Writer parameters that keep float samples exact: TIFF would otherwise store three channels in
// its lossy LogLuv encoding.
std::vector<int> floatWriterParameters(int depth, const QString &suffix);
