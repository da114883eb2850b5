// SPDX-License-Identifier: GPL-3.0-or-later
// Prints the performance figures, one line "name: ratio" each: a command of the program against
// the library work it cannot avoid, on a synthetic 24-megapixel photograph.
#include "figures.h"
#include "measure.h"
#include "photograph.h"

#include "benchviewer.h"
#include "qimagescrollarea.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <exception>
#include <functional>

int main(int argc, char *argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    const QTemporaryDir folder;
    // The series write under the drive root "C:/", which is the working directory; the viewer
    // finds no start-up image there.
    if (!folder.isValid() || !QDir::setCurrent(folder.path())) {
        std::fprintf(stderr, "vexmira-bench: no temporary folder to work in\n");
        return 1;
    }
    try {
        const cv::Mat photo = syntheticPhotograph();
        const auto viewer = shownViewer();
        // Figures named on the command line only, or all of them.
        const QStringList only = application.arguments().mid(1);
        const auto printFigure = [&only](const char *name, const std::function<double()> &figure) {
            if (only.isEmpty() || only.contains(QLatin1String(name)))
                printRatio(name, figure());
        };
        printFigure("shading_vs_lab_roundtrip",
                    [&] { return shadingVsLabRoundTrip(*viewer, photo, LabEncoding::Linear); });
        printFigure("shading_vs_lab_roundtrip_srgb",
                    [&] { return shadingVsLabRoundTrip(*viewer, photo, LabEncoding::Srgb); });
        printFigure("show_vs_bgr2bgra", [&] { return showVsBgr2Bgra(*viewer, photo); });
        printFigure("show_icc_vs_show", [&] {
            return showIccVsShow(*viewer, photo,
                                 QStringLiteral("/usr/share/color/icc/colord/ProPhotoRGB.icc"));
        });
        printFigure("warp_vs_library", [&] { return warpVsLibrary(photo); });
        printFigure("setlab_24mp_vs_1mp",
                    [&] { return setLab24MpVs1Mp(*viewer, photo, LabEncoding::Linear); });
        printFigure("setlab_24mp_vs_1mp_srgb",
                    [&] { return setLab24MpVs1Mp(*viewer, photo, LabEncoding::Srgb); });
        printFigure("setlab_srgb_vs_linear",
                    [&] { return setLabVsLinear(*viewer, photo, LabEncoding::Srgb); });
        printFigure("setlab_icc_vs_linear",
                    [&] { return setLabVsLinear(*viewer, photo, LabEncoding::Icc); });
        printFigure("measure_rect_vs_cvtcolor", [&] { return measureRectVsCvtColor(photo); });
        printFigure("measure_rect_icc_vs_cvtcolor",
                    [&] { return measureRectIccVsCvtColor(photo); });
        printFigure("measure_rect_icc16_vs_cvtcolor", [&] {
            return measureRectIcc16VsCvtColor(
                photo, QStringLiteral("/usr/share/color/icc/colord/ProPhotoRGB.icc"));
        });
        printFigure("series_vs_jpeg_encode",
                    [&] { return seriesVsJpegEncode(photo, folder.path(), LabEncoding::Linear); });
        printFigure("series_vs_jpeg_encode_srgb",
                    [&] { return seriesVsJpegEncode(photo, folder.path(), LabEncoding::Srgb); });
        printFigure("series_manifest_vs_floor", [&] { return seriesManifestVsFloor(photo); });
        printFigure("precise_vs_default_series", [&] { return preciseVsDefaultSeries(photo); });
        printFigure("load_show_vs_imread",
                    [&] { return loadShowVsImread(*viewer, photo, folder.path()); });
        printFigure("load_icc_vs_imread", [&] { return loadIccVsImread(photo, folder.path()); });
        printFigure("undo_warp_vs_show", [&] { return undoWarpVsShow(*viewer, photo); });
        printFigure("batch_series_vs_floor",
                    [&] { return batchSeriesVsFloor(photo, folder.path()); });
        printFigure("shard_overhead", [&] { return shardOverhead(photo, folder.path()); });
        printFigure("chart_vs_convert_patches", [&] { return chartVsConvertPatches(photo); });
        // Memory, not time: flat in the number of rows.
        printFigure("merge_growth_mb_8_rows", [&] {
            return mergeGrowthMegabytes(folder.path(), {50, 120, 120});
        });
        printFigure("merge_growth_mb_5760000_rows", [&] {
            return mergeGrowthMegabytes(folder.path(), {1, 1, 1});
        });
        printFigure("find_chart_24mp", [] { return findChart24MpVsCvtColor(); });
        printFigure("profile_fit", [] { return profileFitVsReadingChart(); });
    } catch (const std::exception &failure) {
        std::fprintf(stderr, "vexmira-bench: %s\n", failure.what());
        return 1;
    }
    return 0;
}
