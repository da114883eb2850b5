// SPDX-License-Identifier: GPL-3.0-or-later
#include "figures.h"

#include "benchviewer.h"
#include "colourprofile.h"
#include "measure.h"
#include "qimagescrollarea.h"
#include "squarewarp.h"

#include <QDir>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

std::vector<cv::Point2f> floatPoints(const Quad &quad) {
    return {quad.begin(), quad.end()};
}

} // namespace

double shadingVsLabRoundTrip(QImageScrollArea &viewer, const cv::Mat &photo, LabEncoding encoding) {
    const EncodingChosen chosen(encoding);
    QCVImage &canvas = *viewer.imageCanvas();
    holdPicture(canvas, photo, cv::Rect(0, 0, photo.cols, photo.rows));
    const Timed shading{[&] {
                            canvas.correctShading(100);
                            if (canvas.image(true, -1, false).data == photo.data)
                                throw BenchFailure("correctShading left the photograph as it was");
                        },
                        [&] {
                            canvas.image(true, -1, false) = photo;
                            canvas.showCurrentImage();
                        }};
    // As a straightforward correction does it: a new Lab picture, converted back in place.
    cv::Mat lab;
    const Timed roundTrip{[&] {
                              cv::cvtColor(photo, lab, bgrToLabConversion(encoding));
                              cv::cvtColor(lab, lab, labToBgrConversion(encoding));
                          },
                          [&] { lab.release(); }};
    return medianRatio(shading, roundTrip, 7);
}

double showVsBgr2Bgra(QImageScrollArea &viewer, const cv::Mat &photo) {
    QCVImage &canvas = *viewer.imageCanvas();
    holdPicture(canvas, photo, cv::Rect(1500, 1000, 3000, 2000));
    const Timed show{[&] { canvas.showCurrentImage(); }};
    cv::Mat bgra(photo.size(), CV_8UC4);
    const Timed convert{[&] { cv::cvtColor(photo, bgra, cv::COLOR_BGR2BGRA); }};
    return medianRatio(show, convert, 11);
}

double showIccVsShow(QImageScrollArea &viewer, const cv::Mat &photo, const QString &profilePath) {
    const ColourProfilePtr proPhoto = ColourProfile::fromFile(profilePath);
    if (!proPhoto)
        throw BenchFailure("cannot open the ProPhoto profile");
    QCVImage &canvas = *viewer.imageCanvas();
    holdPicture(canvas, photo, cv::Rect(1500, 1000, 3000, 2000));
    // The whole picture in the view, so that each repaint draws every pixel of it.
    const QSize view = viewer.viewport()->size();
    canvas.setScale(std::min(static_cast<double>(view.width()) / photo.cols,
                             static_cast<double>(view.height()) / photo.rows));
    const Timed managed{[&] { canvas.showCurrentImage(); },
                        [&] { canvas.setPictureProfile(proPhoto); }};
    const Timed plain{[&] { canvas.showCurrentImage(); },
                      [&] { canvas.setPictureProfile(nullptr); }};
    const double ratio = medianRatio(managed, plain, 9);
    canvas.setPictureProfile(nullptr);
    return ratio;
}

double warpVsLibrary(const cv::Mat &photo) {
    // A photographed sheet seen at an angle.
    const Quad from{cv::Point(900, 700), cv::Point(600, 3500), cv::Point(5300, 3300),
                    cv::Point(5000, 500)};
    const Quad to = warpTargetCorners(photo.size());

    // Never shown, so the command's repaint paints nothing.
    std::unique_ptr<QCVImage> canvas;
    const Timed warp{[&] {
                         canvas->warpCurrentImage();
                         if (canvas->sourceCount != 2)
                             throw BenchFailure("warpCurrentImage pushed no image");
                     },
                     [&] {
                         canvas = std::make_unique<QCVImage>();
                         canvas->pushImage(photo, true);
                         std::copy(from.begin(), from.end(), canvas->corners);
                     }};
    const cv::Mat matrix = cv::getPerspectiveTransform(floatPoints(from), floatPoints(to));
    cv::Mat warped;
    const Timed library{[&] {
                            cv::warpPerspective(photo, warped, matrix, photo.size(),
                                                cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                                                cv::Scalar::all(0));
                        },
                        [&] { warped.release(); }};
    return medianRatio(warp, library, 7);
}

double loadShowVsImread(QImageScrollArea &viewer, const cv::Mat &photo, const QString &folder) {
    const QString path = QDir(folder).filePath(QStringLiteral("photograph.tif"));
    const std::string name = path.toStdString();
    if (!cv::imwrite(name, photo, {cv::IMWRITE_TIFF_COMPRESSION, 1}))
        throw BenchFailure("cannot write the uncompressed TIFF");

    QCVImage &canvas = *viewer.imageCanvas();
    holdPicture(canvas, photo, cv::Rect(0, 0, 1, 1));
    const Timed load{[&] {
                         if (!canvas.loadImage(path))
                             throw BenchFailure("loadImage failed on the TIFF");
                     },
                     [&] {
                         // A viewer that holds no earlier image, so nothing is freed in the
                         // timed part.
                         for (cv::Mat &slot : canvas.sourceImages)
                             slot.release();
                         canvas.sourceCount = 0;
                         canvas.showCurrentImage();
                     }};
    cv::Mat read;
    const Timed imread{[&] { read = cv::imread(name, cv::IMREAD_UNCHANGED); },
                       [&] { read.release(); }};
    return medianRatio(load, imread, 9);
}
