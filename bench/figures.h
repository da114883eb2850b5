// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "labencoding.h"
#include "meanlabadjustment.h"

#include <QString>
#include <opencv2/core/mat.hpp>

class QImageScrollArea;

// Each returns one figure of run.sh on the 24-megapixel `photo`; the viewers are shown. Each
// throws BenchFailure when the command under test did not do its work.

// correctShading(100) over the whole frame / cvtColor to Lab and back, both in `encoding`.
double shadingVsLabRoundTrip(QImageScrollArea &viewer, const cv::Mat &photo, LabEncoding encoding);
// showCurrentImage() / cvtColor(BGR2BGRA).
double showVsBgr2Bgra(QImageScrollArea &viewer, const cv::Mat &photo);
// showCurrentImage() of `photo` in the ProPhoto profile at `profilePath`, the whole picture in
// the view / the same without a profile.
double showIccVsShow(QImageScrollArea &viewer, const cv::Mat &photo, const QString &profilePath);
// warpCurrentImage() on a canvas that is not shown / cv::warpPerspective.
double warpVsLibrary(const cv::Mat &photo);
// Undo of a warp of `photo` / showCurrentImage() of `photo`.
double undoWarpVsShow(QImageScrollArea &viewer, const cv::Mat &photo);
// loadImage() of an uncompressed TIFF of `photo` written into `folder` / cv::imread.
double loadShowVsImread(QImageScrollArea &viewer, const cv::Mat &photo, const QString &folder);
// readPictureFile (pixels and profile) of a 16-bit TIFF of `photo` carrying ProPhoto RGB, written
// into `folder` / cv::imread of it.
double loadIccVsImread(const cv::Mat &photo, const QString &folder);

// SetLab with a 1000 x 1000 rectangle on `photo` / the same on a 1000 x 1000 image, both in
// `encoding`.
double setLab24MpVs1Mp(QImageScrollArea &viewer, const cv::Mat &photo, LabEncoding encoding);
// A steady SetLab with a 1000 x 1000 rectangle on `photo` in `encoding` (ICC: sRGB, the photo
// having no profile) / the same in linear light.
double setLabVsLinear(QImageScrollArea &viewer, const cv::Mat &photo, LabEncoding encoding);
// measureLab of a 1000 x 1000 rectangle of `photo` / converting that rectangle alone to float
// Lab.
double measureRectVsCvtColor(const cv::Mat &photo);
// measureLab of the whole of `photo` as ICC sRGB / converting it to float sRGB Lab with OpenCV
// and taking the mean.
double measureRectIccVsCvtColor(const cv::Mat &photo);
// The same for `photo` made 16-bit and measured in the ProPhoto profile at `profilePath`,
// against the same OpenCV work on the 8-bit photograph.
double measureRectIcc16VsCvtColor(const cv::Mat &photo, const QString &profilePath);
// The 200-image grid series (steps 50, 24, 24) of a 1000 x 1000 rectangle through the series
// core, into the drive root:
// 200 JPEGs of the rectangle encoded on one thread into `folder` / the series without manifest,
// in `encoding`.
double seriesVsJpegEncode(const cv::Mat &photo, const QString &folder, LabEncoding encoding);
// Encoding, decoding and a float Lab mean of each file on one thread / the series with its
// manifest.
double seriesManifestVsFloor(const cv::Mat &photo);
// The precise series / the default one, both JPEG with their manifests.
double preciseVsDefaultSeries(const cv::Mat &photo);

// The unavoidable work of a 1000-image grid series (steps 10, 24, 24) with a 1000 x 1000
// rectangle, one thread, per file: JPEG encode, decode, float Lab mean / the same series through
// the vexmira-batch process, manifest on, from a file of `photo` written into `folder`.
double batchSeriesVsFloor(const cv::Mat &photo, const QString &folder);
// That series through vexmira-batch as shards 1/2 and 2/2 one after the other / in one run.
double shardOverhead(const cv::Mat &photo, const QString &folder);
// How many MB the resident size grows by while merging eight generated shard manifests of the
// grid series with these steps, written into `folder`: a size, not a ratio.
double mergeGrowthMegabytes(const QString &folder, const LabValue &steps);
// Reading a 4 x 6 chart over most of `photo` / converting only the patches' bounding rectangles
// to float Lab.
double chartVsConvertPatches(const cv::Mat &photo);
// Finding the chart in the demo photograph at 24 megapixels / one float cvtColor of it.
double findChart24MpVsCvtColor();
// Fitting a camera profile to that chart's readings / reading the chart.
double profileFitVsReadingChart();

// Sets the process-wide encoding choice for a scope, and linear light again after it.
class EncodingChosen {
public:
    explicit EncodingChosen(LabEncoding encoding) { LabEncodingChoice::instance().set(encoding); }
    ~EncodingChosen() { LabEncodingChoice::instance().set(LabEncoding::Linear); }
    EncodingChosen(const EncodingChosen &) = delete;
    EncodingChosen &operator=(const EncodingChosen &) = delete;
};
