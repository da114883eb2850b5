// SPDX-License-Identifier: GPL-3.0-or-later
#include "figures.h"

#include "measure.h"
#include "seriesrun.h"

#include <QDir>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <string>

namespace {

const cv::Size patch(1000, 1000);
// Steps 50, 24, 24: 2 x 10 x 10 = 200 images.
const LabValue gridSteps{50, 24, 24};
constexpr int gridImages = 200;

Quad patchCorners(const cv::Mat &photo) {
    const cv::Rect rect((photo.cols - patch.width) / 2, (photo.rows - patch.height) / 2,
                        patch.width, patch.height);
    return {rect.tl(), cv::Point(rect.x, rect.br().y), rect.br(), cv::Point(rect.br().x, rect.y)};
}

SeriesRequest gridRequest(const cv::Mat &photo, const QString &folder, bool manifest, bool precise,
                          LabEncoding encoding = LabEncoding::Linear) {
    SeriesRequest request;
    request.image = photo;
    request.corners = patchCorners(photo);
    request.plan = {SeriesPlan::Kind::Grid, gridSteps};
    request.options.folder = folder;
    request.options.precise = precise;
    request.options.encoding = encoding;
    request.manifest = manifest;
    return request;
}

Timed seriesRun(const SeriesRequest &request) {
    return {[request] {
        const std::atomic<bool> noStop{false};
        const SeriesResult result = runReferenceSeries(request, noStop, {});
        if (result.total != gridImages || result.written != gridImages)
            throw BenchFailure("the grid series did not write its 200 images");
    }};
}

// The series' last file, decoded: what the floors encode and measure.
cv::Mat lastImage() {
    const ReferenceImage last = SeriesPlan{SeriesPlan::Kind::Grid, gridSteps}.image(gridImages - 1);
    const cv::Mat image =
        cv::imread(QDir::current().filePath(seriesFileName(last, SeriesFormat::Jpeg)).toStdString(),
                   cv::IMREAD_UNCHANGED);
    if (image.size() != patch)
        throw BenchFailure("the series' last file is missing");
    return image;
}

// Runs `work` with OpenCV on one thread.
Timed onOneThread(std::function<void()> work) {
    return {[work] {
        const int threads = cv::getNumThreads();
        cv::setNumThreads(1);
        work();
        cv::setNumThreads(threads);
    }};
}

} // namespace

double seriesVsJpegEncode(const cv::Mat &photo, const QString &folder, LabEncoding encoding) {
    const Timed series = seriesRun(gridRequest(photo, QDir::currentPath(), false, false, encoding));
    series.run();
    const cv::Mat recoloured = lastImage();
    const std::string prefix = QDir(folder).filePath(QStringLiteral("encoded_")).toStdString();
    const Timed encode{[&] {
        for (int i = 0; i < gridImages; ++i)
            if (!cv::imwrite(prefix + std::to_string(i) + ".jpg", recoloured))
                throw BenchFailure("cv::imwrite failed");
    }};
    return medianRatio(encode, series, 7);
}

double seriesManifestVsFloor(const cv::Mat &photo) {
    const Timed series = seriesRun(gridRequest(photo, QDir::currentPath(), true, false));
    series.run();
    const cv::Mat recoloured = lastImage();
    const Timed floor = onOneThread([&] {
        std::vector<uchar> bytes;
        cv::Mat decoded;
        cv::Mat scaled;
        cv::Mat lab;
        for (int i = 0; i < gridImages; ++i) {
            cv::imencode(".jpg", recoloured, bytes);
            decoded = cv::imdecode(bytes, cv::IMREAD_UNCHANGED);
            decoded.convertTo(scaled, CV_32F, 1.0 / 255.0);
            cv::cvtColor(scaled, lab, cv::COLOR_LBGR2Lab);
            if (cv::mean(lab)[0] < 0)
                throw BenchFailure("a negative L*");
        }
    });
    return medianRatio(floor, series, 3);
}

double preciseVsDefaultSeries(const cv::Mat &photo) {
    const Timed precise = seriesRun(gridRequest(photo, QDir::currentPath(), true, true));
    const Timed plain = seriesRun(gridRequest(photo, QDir::currentPath(), true, false));
    return medianRatio(precise, plain, 3);
}
