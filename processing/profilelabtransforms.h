// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "matrixshaperinverse.h"

#include <lcms2.h>
#include <opencv2/core/mat.hpp>

#include <memory>
#include <mutex>
#include <vector>

// One profile's conversions to and from ICC L*a*b* (D50, relative colorimetric), all in
// Little CMS's floating point. Built once per profile and shared by every thread: the
// transforms are made without Little CMS's cache, so one transform may run on many threads.
class ProfileLabTransforms {
public:
    // Throws std::runtime_error when Little CMS cannot build the way to L*a*b*.
    explicit ProfileLabTransforms(cmsHPROFILE profile);
    ~ProfileLabTransforms();
    ProfileLabTransforms(const ProfileLabTransforms &) = delete;
    ProfileLabTransforms &operator=(const ProfileLabTransforms &) = delete;

    // Float device values (CV_32FC3 BGR for RGB profiles, CV_32FC1 for grey ones, 0..1) to
    // float L*a*b* (CV_32FC3) in `lab`.
    void toLab(const cv::Mat &values, cv::Mat &lab) const;
    // The way back, into `values` of the profile's channel count; unclipped. False, with
    // nothing written, when the profile has no way back (an input-only table profile).
    bool fromLab(const cv::Mat &lab, cv::Mat &values) const;

    // 8- or 16-bit values with the profile's channel count (RGB profiles: 3 or 4, BGR(A)), or
    // grey values through an RGB profile as three equal channels, to L*a*b* through tables of
    // every code; what toLab() gives for the same values scaled to 0..1. False when no table
    // applies (a table-based RGB profile).
    bool integerToLab(const cv::Mat &values, cv::Mat &lab) const;

private:
    struct TransformDeleter {
        void operator()(void *transform) const { cmsDeleteTransform(transform); }
    };
    using TransformHandle = std::unique_ptr<void, TransformDeleter>;

    // The matrix/shaper model of an RGB profile: each channel's tone curve at every code,
    // then the colorants' XYZ. The curves belong to the profile, which outlives this.
    struct MatrixShaper {
        const cmsToneCurve *curves[3];
        std::vector<float> linear8[3];
        // Built on first use: evaluating 65536 codes costs more than opening the profile.
        std::once_flag linear16Built;
        std::vector<float> linear16[3];
        // Rows X, Y, Z; columns R, G, B.
        double colorants[3][3];
        // The way back from L*a*b*, built on first use; empty when Little CMS has none.
        std::once_flag inverseBuilt;
        std::unique_ptr<const MatrixShaperInverse> inverse;
    };

    // L*a*b* of every code of one channel: grey through a grey profile, or equal channels
    // through an RGB one.
    const std::vector<cv::Vec3f> &greyTable(int depth) const;
    // Sets matrixShaper when Little CMS reads the profile as curves and a matrix.
    void readMatrixShaper(cmsHPROFILE profile);
    void matrixShaperToLab(const cv::Mat &values, cv::Mat &lab) const;
    const MatrixShaperInverse *matrixShaperInverse() const;

    int channelCount;
    TransformHandle toLabTransform;
    TransformHandle fromLabTransform;
    std::unique_ptr<MatrixShaper> matrixShaper;

    mutable std::once_flag grey8Built;
    mutable std::once_flag grey16Built;
    mutable std::vector<cv::Vec3f> grey8;
    mutable std::vector<cv::Vec3f> grey16;
};
