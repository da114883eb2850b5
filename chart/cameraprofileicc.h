// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "atomicfilewrite.h"
#include "cameraprofile.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <lcms2.h>

#include <memory>
#include <optional>

// The ICC file of a camera model, written with Little CMS: version 4, input class, RGB to PCS
// XYZ, a matrix/shaper (colorant and TRC tags), the media white point (D50, the PCS white the
// model maps the chart's perfect white to) and a description.

struct ToneCurveFree {
    void operator()(cmsToneCurve *curve) const { cmsFreeToneCurve(curve); }
};
using ToneCurveHandle = std::unique_ptr<cmsToneCurve, ToneCurveFree>;

// The sRGB curve (IEC 61966-2-1) as a Little CMS parametric curve.
ToneCurveHandle srgbToneCurve();
// The model's curve, device value to linear light.
ToneCurveHandle modelToneCurve(const CameraModel &model);

// "Camera profile from ColorChecker Classic 24, 2026-12-10".
QString cameraProfileDescription(const QString &chartName, const QDate &date);

// The profile's bytes; nothing, with the cause in `error`, when Little CMS refuses it.
std::optional<QByteArray> cameraProfileBytes(const CameraModel &model, const QString &description,
                                             QString &error);

// Writes the profile to `path` atomically: a failure leaves any old file as it was, and never a
// part-written one.
FileWriteResult writeCameraProfile(const QString &path, const CameraModel &model,
                                   const QString &description);
