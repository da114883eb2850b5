// SPDX-License-Identifier: GPL-3.0-or-later
#include "renderedchart.h"

#include <QString>
#include <lcms2.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace {

// The flat chart: patches of `patch` pixels with `gap` between them, on a board `border` wide.
constexpr int patch = 100;
constexpr int gap = 24;
constexpr int border = 48;
const cv::Size frame(1600, 1200);

struct ProfileClose {
    void operator()(void *profile) const { cmsCloseProfile(profile); }
};
struct TransformDelete {
    void operator()(void *transform) const { cmsDeleteTransform(transform); }
};

} // namespace

ChartReference makerReference(const std::string &name) {
    QString error;
    const auto reference =
        loadCgatsReference(QString::fromStdString("/usr/share/color/argyll/ref/" + name), error);
    if (!reference)
        throw std::runtime_error(error.toStdString());
    return *reference;
}

ChartReference colorCheckerSgReference() {
    struct It8Free {
        void operator()(void *it8) const { cmsIT8Free(it8); }
    };
    const std::unique_ptr<void, It8Free> it8(
        cmsIT8LoadFromFile(nullptr, "/usr/share/color/argyll/ref/ColorCheckerSG.ti2"));
    if (!it8)
        throw std::runtime_error("ColorCheckerSG.ti2 does not load");
    // Strips (letters) are the columns, patches within a strip the rows.
    const int location = cmsIT8FindDataFormat(it8.get(), "SAMPLE_LOC");
    const int x = cmsIT8FindDataFormat(it8.get(), "XYZ_X");
    ChartReference reference(140);
    for (int set = 0; set < 140; ++set) {
        const std::string name = cmsIT8GetDataRowCol(it8.get(), set, location);
        const int column = name[0] - 'A';
        const int row = std::stoi(name.substr(1)) - 1;
        const cmsCIEXYZ xyz = {cmsIT8GetDataRowColDbl(it8.get(), set, x) / 100,
                               cmsIT8GetDataRowColDbl(it8.get(), set, x + 1) / 100,
                               cmsIT8GetDataRowColDbl(it8.get(), set, x + 2) / 100};
        cmsCIELab lab;
        cmsXYZ2Lab(cmsD50_XYZ(), &lab, &xyz);
        reference.at(size_t(row * 14 + column)) = {lab.L, lab.a, lab.b};
    }
    return reference;
}

std::vector<cv::Vec3d> srgbFromLab(const ChartReference &lab) {
    const std::unique_ptr<void, ProfileClose> labProfile(cmsCreateLab4Profile(nullptr));
    const std::unique_ptr<void, ProfileClose> srgb(cmsCreate_sRGBProfile());
    const std::unique_ptr<void, TransformDelete> transform(
        cmsCreateTransform(labProfile.get(), TYPE_Lab_DBL, srgb.get(), TYPE_RGB_DBL,
                           INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOOPTIMIZE));
    std::vector<cv::Vec3d> rgb(lab.size());
    for (size_t i = 0; i < lab.size(); ++i) {
        cmsDoTransform(transform.get(), lab[i].val, rgb[i].val, 1);
        for (int c = 0; c < 3; ++c)
            rgb[i][c] = std::clamp(rgb[i][c], 0.0, 1.0);
    }
    return rgb;
}

std::array<cv::Point2f, 4> turnedHalfRound(const std::array<cv::Point2f, 4> &outline) {
    return {outline[2], outline[3], outline[0], outline[1]};
}

ChartPhoto photographChart(const std::vector<cv::Vec3d> &colours, int rows, int columns,
                           const Photography &photography) {
    const cv::Size flatSize(2 * border + columns * patch + (columns - 1) * gap,
                            2 * border + rows * patch + (rows - 1) * gap);
    cv::Mat flat(flatSize, CV_32FC3, cv::Scalar::all(0.06));
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const cv::Vec3d &rgb = colours[size_t(row * columns + column)];
            cv::rectangle(flat,
                          cv::Rect(border + column * (patch + gap), border + row * (patch + gap),
                                   patch, patch),
                          cv::Scalar(rgb[2], rgb[1], rgb[0]), cv::FILLED);
        }
    }
    // The flat chart's corners onto the outline; the frame a lighter table top.
    const float right = float(flatSize.width);
    const float bottom = float(flatSize.height);
    const cv::Point2f flatOutline[4] = {{0, 0}, {0, bottom}, {right, bottom}, {right, 0}};
    const cv::Matx33d toFrame =
        cv::getPerspectiveTransform(flatOutline, photography.outline.data());
    cv::Mat image(frame, CV_32FC3, cv::Scalar::all(0.45));
    cv::warpPerspective(flat, image, toFrame, frame, cv::INTER_LINEAR, cv::BORDER_TRANSPARENT);

    if (photography.blurSigma > 0)
        cv::GaussianBlur(image, image, cv::Size(), photography.blurSigma);
    if (photography.noiseSigma > 0) {
        cv::Mat noise(image.size(), image.type());
        cv::RNG generator(20261210);
        generator.fill(noise, cv::RNG::NORMAL, 0, photography.noiseSigma);
        image += noise;
    }
    ChartPhoto photo;
    const double full = photography.depth == CV_16U ? 65535 : 255;
    image.convertTo(photo.image, photography.depth, full);
    if (photography.jpegQuality > 0) {
        std::vector<uchar> bytes;
        cv::imencode(".jpg", photo.image, bytes,
                     {cv::IMWRITE_JPEG_QUALITY, photography.jpegQuality});
        photo.image = cv::imdecode(bytes, cv::IMREAD_COLOR);
    }

    // Half a gap outside the outer patches, with pixel centres on integers as the warp has them.
    const double near = border - gap / 2.0 - 0.5;
    const double farX = flatSize.width - 1 - near;
    const double farY = flatSize.height - 1 - near;
    const cv::Point2d flatField[4] = {{near, near}, {near, farY}, {farX, farY}, {farX, near}};
    for (size_t i = 0; i < 4; ++i) {
        const cv::Vec3d point = toFrame * cv::Vec3d(flatField[i].x, flatField[i].y, 1);
        photo.field[i] = {point[0] / point[2], point[1] / point[2]};
    }
    return photo;
}

double cornerErrorFraction(const std::array<cv::Point2d, 4> &found,
                           const std::array<cv::Point2d, 4> &truth) {
    double worst = 0;
    double side = 0;
    for (size_t i = 0; i < 4; ++i) {
        worst = std::max(worst, cv::norm(found[i] - truth[i]));
        side = std::max(side, cv::norm(truth[(i + 1) % 4] - truth[i]));
    }
    return worst / side;
}
