// SPDX-License-Identifier: GPL-3.0-or-later
#include "cameraprofile.h"

#include "cameraprofileicc.h"
#include "colourdifference.h"

#include <QCoreApplication>
#include <lcms2.h>
#include <opencv2/core.hpp>
#include <opencv2/core/optim.hpp>

#include <cmath>
#include <limits>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("CameraProfile", text);
}

// A channel this close to either end of the range may be clipped.
constexpr double clipMargin = 0.5 / 255;
constexpr double minimumGamma = 0.2;
constexpr double maximumGamma = 5;
// The simplex restarts from its best point until a restart gains less than this (a ΔE2000
// far below what anyone sees).
constexpr double convergedGain = 1e-4;
constexpr int maximumRestarts = 30;

double srgbToLinear(double value) {
    static const ToneCurveHandle curve = srgbToneCurve();
    return cmsEvalToneCurveFloat(curve.get(), cmsFloat32Number(value));
}

double toLinear(ToneCurve tone, double gamma, double value) {
    switch (tone) {
    case ToneCurve::Srgb:
        return srgbToLinear(value);
    case ToneCurve::Gamma:
        return value <= 0 ? 0 : std::pow(value, gamma);
    case ToneCurve::Linear:
        return value;
    }
    return value;
}

cv::Vec3d labFromXyz(const cv::Vec3d &xyz) {
    const cmsCIEXYZ point = {xyz[0], xyz[1], xyz[2]};
    cmsCIELab lab;
    cmsXYZ2Lab(cmsD50_XYZ(), &lab, &point);
    return {lab.L, lab.a, lab.b};
}

cv::Vec3d xyzFromLab(const cv::Vec3d &lab) {
    const cmsCIELab point = {lab[0], lab[1], lab[2]};
    cmsCIEXYZ xyz;
    cmsLab2XYZ(cmsD50_XYZ(), &xyz, &point);
    return {xyz.X, xyz.Y, xyz.Z};
}

bool usable(const std::optional<cv::Vec3d> &reading) {
    if (!reading)
        return false;
    for (int c = 0; c < 3; ++c)
        if (!std::isfinite((*reading)[c]) || (*reading)[c] < clipMargin ||
            (*reading)[c] > 1 - clipMargin)
            return false;
    return true;
}

struct Sample {
    cv::Vec3d rgb;
    cv::Vec3d lab;
    // Through the tone curve, when the fit does not change it.
    cv::Vec3d linear;
};

// The matrix of least squares from linear device values to XYZ; nothing when the readings do
// not determine it.
std::optional<cv::Matx33d> leastSquaresMatrix(const std::vector<Sample> &samples, ToneCurve tone,
                                              double gamma) {
    cv::Mat linear(int(samples.size()), 3, CV_64F);
    cv::Mat xyz(int(samples.size()), 3, CV_64F);
    for (size_t i = 0; i < samples.size(); ++i) {
        const cv::Vec3d target = xyzFromLab(samples[i].lab);
        for (int c = 0; c < 3; ++c) {
            linear.at<double>(int(i), c) = toLinear(tone, gamma, samples[i].rgb[c]);
            xyz.at<double>(int(i), c) = target[c];
        }
    }
    // Three independent colours at the least, measured by the spread of the singular values.
    cv::Mat singular;
    cv::SVD::compute(linear, singular);
    if (singular.at<double>(2) < 1e-4 * singular.at<double>(0))
        return std::nullopt;
    cv::Mat solution;
    if (!cv::solve(linear, xyz, solution, cv::DECOMP_SVD))
        return std::nullopt;
    return cv::Matx33d(cv::Mat(solution.t()));
}

class MeanDeltaE : public cv::MinProblemSolver::Function {
public:
    MeanDeltaE(const std::vector<Sample> &fitted, ToneCurve curve) : samples(fitted), tone(curve) {}

    int getDims() const override { return tone == ToneCurve::Gamma ? 10 : 9; }

    double calc(const double *x) const override {
        const CameraModel model = modelAt(x);
        if (model.gamma < minimumGamma || model.gamma > maximumGamma)
            return std::numeric_limits<double>::max();
        double sum = 0;
        for (const Sample &sample : samples) {
            const cv::Vec3d lab = tone == ToneCurve::Gamma
                                      ? model.lab(sample.rgb)
                                      : labFromXyz(model.matrix * sample.linear);
            sum += deltaE2000(lab, sample.lab);
        }
        return sum / double(samples.size());
    }

    CameraModel modelAt(const double *x) const {
        CameraModel model;
        model.tone = tone;
        for (int i = 0; i < 9; ++i)
            model.matrix.val[i] = x[i];
        model.gamma = tone == ToneCurve::Gamma ? x[9] : 1;
        return model;
    }

private:
    const std::vector<Sample> &samples;
    ToneCurve tone;
};

DeltaESummary summarise(const std::vector<std::optional<double>> &values) {
    DeltaESummary summary;
    double sum = 0;
    for (size_t i = 0; i < values.size(); ++i) {
        if (!values[i])
            continue;
        sum += *values[i];
        if (summary.count == 0 || *values[i] > summary.maximum) {
            summary.maximum = *values[i];
            summary.worstPatch = int(i);
        }
        ++summary.count;
    }
    if (summary.count > 0)
        summary.mean = sum / summary.count;
    return summary;
}

// The matrix (and gamma) of the smallest mean ΔE2000, from `start`; nothing when the simplex
// still gains after every restart or ends on no finite figure.
std::optional<CameraModel> refined(const std::vector<Sample> &samples, const CameraModel &start) {
    const cv::Ptr<MeanDeltaE> problem = cv::makePtr<MeanDeltaE>(samples, start.tone);
    const int dims = problem->getDims();
    cv::Mat x(1, dims, CV_64F);
    double scale = 0;
    for (int i = 0; i < 9; ++i) {
        x.at<double>(i) = start.matrix.val[i];
        scale = std::max(scale, std::abs(start.matrix.val[i]));
    }
    cv::Mat step(1, dims, CV_64F, cv::Scalar(0.05 * scale));
    if (dims == 10) {
        x.at<double>(9) = start.gamma;
        step.at<double>(9) = 0.1;
    }
    const cv::Ptr<cv::DownhillSolver> solver = cv::DownhillSolver::create(
        problem, step,
        cv::TermCriteria(cv::TermCriteria::MAX_ITER + cv::TermCriteria::EPS, 4000, 1e-7));
    double best = problem->calc(x.ptr<double>());
    for (int restart = 0; restart < maximumRestarts; ++restart) {
        const double value = solver->minimize(x);
        if (!std::isfinite(value) || !cv::checkRange(x))
            return std::nullopt;
        const double gain = best - value;
        best = std::min(best, value);
        if (gain < convergedGain)
            return problem->modelAt(x.ptr<double>());
        // A shorter first step at each restart: the simplex now starts near the minimum.
        step *= 0.5;
        solver->setInitStep(step);
    }
    return std::nullopt;
}

} // namespace

QString toneCurveKey(ToneCurve tone) {
    switch (tone) {
    case ToneCurve::Srgb:
        return QStringLiteral("srgb");
    case ToneCurve::Gamma:
        return QStringLiteral("gamma");
    case ToneCurve::Linear:
        return QStringLiteral("linear");
    }
    return {};
}

std::optional<ToneCurve> toneCurveFromKey(const QString &key) {
    for (const ToneCurve tone : {ToneCurve::Srgb, ToneCurve::Gamma, ToneCurve::Linear})
        if (key == toneCurveKey(tone))
            return tone;
    return std::nullopt;
}

cv::Vec3d CameraModel::xyz(const cv::Vec3d &rgb) const {
    const cv::Vec3d linear(toLinear(tone, gamma, rgb[0]), toLinear(tone, gamma, rgb[1]),
                           toLinear(tone, gamma, rgb[2]));
    return matrix * linear;
}

cv::Vec3d CameraModel::lab(const cv::Vec3d &rgb) const {
    return labFromXyz(xyz(rgb));
}

CameraProfileResult fitCameraProfile(const CameraProfileInput &input) {
    CameraProfileResult result;
    if (input.readings.size() != input.reference.size()) {
        result.problem = tr("The reference holds %1 patches but the chart has %2.")
                             .arg(input.reference.size())
                             .arg(input.readings.size());
        return result;
    }
    std::vector<Sample> samples;
    for (size_t i = 0; i < input.readings.size(); ++i) {
        if (!usable(input.readings[i]))
            continue;
        const cv::Vec3d &rgb = *input.readings[i];
        const cv::Vec3d linear(toLinear(input.tone, 1, rgb[0]), toLinear(input.tone, 1, rgb[1]),
                               toLinear(input.tone, 1, rgb[2]));
        samples.push_back({rgb, input.reference[i], linear});
    }
    if (int(samples.size()) < minimumFitPatches) {
        result.problem = tr("Only %1 patches are usable (read and not clipped); a profile needs "
                            "at least %2.")
                             .arg(samples.size())
                             .arg(minimumFitPatches);
        return result;
    }

    CameraModel start;
    start.tone = input.tone;
    start.gamma = input.tone == ToneCurve::Gamma ? 2.2 : 1;
    const auto matrix = leastSquaresMatrix(samples, start.tone, start.gamma);
    if (!matrix) {
        result.problem = tr("The fit does not converge: the usable patches do not hold three "
                            "independent colours.");
        return result;
    }
    start.matrix = *matrix;
    const auto model = refined(samples, start);
    if (!model || std::abs(cv::determinant(model->matrix)) < 1e-9) {
        result.problem = tr("The fit does not converge: the readings do not follow the %1 tone "
                            "curve and a matrix.")
                             .arg(toneCurveKey(input.tone));
        return result;
    }

    CameraProfileFit fit;
    fit.model = *model;
    fit.usedPatches = int(samples.size());
    std::vector<std::optional<double>> before;
    std::vector<std::optional<double>> after;
    for (size_t i = 0; i < input.readings.size(); ++i) {
        PatchFit patch;
        patch.used = usable(input.readings[i]);
        if (i < input.before.size() && input.before[i])
            patch.deltaE2000Before = deltaE2000(*input.before[i], input.reference[i]);
        if (input.readings[i]) {
            patch.labAfter = fit.model.lab(*input.readings[i]);
            patch.deltaE2000After = deltaE2000(*patch.labAfter, input.reference[i]);
        }
        before.push_back(patch.deltaE2000Before);
        after.push_back(patch.deltaE2000After);
        fit.patches.push_back(patch);
    }
    fit.before = summarise(before);
    fit.after = summarise(after);
    result.fit = fit;
    return result;
}
