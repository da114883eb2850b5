// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "chartreference.h"

#include <QString>
#include <opencv2/core/matx.hpp>

#include <optional>
#include <vector>

// A camera's matrix/shaper model: each device channel through one tone curve to linear light,
// then a 3 x 3 matrix to PCS XYZ (D50, Y of the perfect white 1).

// The tone curve of a camera picture: the sRGB curve for camera JPEGs, one fitted gamma, or
// none for linear raw exports.
enum class ToneCurve { Srgb, Gamma, Linear };

// "srgb", "gamma" or "linear": the key on command lines and in settings.
QString toneCurveKey(ToneCurve tone);
std::optional<ToneCurve> toneCurveFromKey(const QString &key);

struct CameraModel {
    ToneCurve tone = ToneCurve::Srgb;
    // The exponent of ToneCurve::Gamma; 1 otherwise.
    double gamma = 1;
    // Linear device R, G, B (columns) to XYZ (rows).
    cv::Matx33d matrix = cv::Matx33d::eye();

    // Device R, G, B (0..1) to XYZ and to ICC L*a*b* (D50) through the model.
    cv::Vec3d xyz(const cv::Vec3d &rgb) const;
    cv::Vec3d lab(const cv::Vec3d &rgb) const;
};

struct CameraProfileInput {
    // Per patch in the chart's order: the mean device R, G, B (0..1, in that order), or nothing
    // for a patch that could not be read.
    std::vector<std::optional<cv::Vec3d>> readings;
    // The chart maker's ICC L*a*b* (D50) per patch.
    ChartReference reference;
    // Per patch, the L*a*b* as the picture reads now (in the current mode), for the "before"
    // column; may be empty.
    std::vector<std::optional<cv::Vec3d>> before;
    ToneCurve tone = ToneCurve::Srgb;
};

struct PatchFit {
    // Whether the patch took part in the fit: read, and no channel clipped.
    bool used = false;
    std::optional<double> deltaE2000Before;
    // Through the fitted model; nothing for a patch that was not read.
    std::optional<cv::Vec3d> labAfter;
    std::optional<double> deltaE2000After;
};

// Mean and maximum of the values present; zero count when none is.
struct DeltaESummary {
    int count = 0;
    double mean = 0;
    double maximum = 0;
    // The 0-based patch of the maximum.
    int worstPatch = -1;
};

struct CameraProfileFit {
    CameraModel model;
    // One per patch, in the chart's order.
    std::vector<PatchFit> patches;
    int usedPatches = 0;
    DeltaESummary before;
    DeltaESummary after;
};

struct CameraProfileResult {
    std::optional<CameraProfileFit> fit;
    // Why there is no fit, for the user; empty when there is one.
    QString problem;
};

// The fewest usable patches a fit takes.
inline constexpr int minimumFitPatches = 6;

// Fits the model: least squares in XYZ through the tone curve (the gamma starting at 2.2), then
// the matrix (and gamma) refined to the smallest mean ΔE2000 over the usable patches with a
// downhill simplex. Refuses, with the reason: readings and reference of different counts (both
// named), fewer than minimumFitPatches usable patches, readings that span no three
// independent colours, and a fit that does not converge.
CameraProfileResult fitCameraProfile(const CameraProfileInput &input);
