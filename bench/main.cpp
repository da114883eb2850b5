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
        printFigure("shading_vs_lab_roundtrip", shadingVsLabRoundTrip(*viewer, photo));
        printFigure("show_vs_bgr2bgra", showVsBgr2Bgra(*viewer, photo));
        printFigure("warp_vs_library", warpVsLibrary(photo));
        printFigure("setlab_24mp_vs_1mp", setLab24MpVs1Mp(*viewer, photo));
        printFigure("series_vs_jpeg_encode", seriesVsJpegEncode(photo, folder.path()));
        printFigure("series_manifest_vs_floor", seriesManifestVsFloor(photo));
        printFigure("precise_vs_default_series", preciseVsDefaultSeries(photo));
        printFigure("load_show_vs_imread", loadShowVsImread(*viewer, photo, folder.path()));
        printFigure("undo_warp_vs_show", undoWarpVsShow(*viewer, photo));
        printFigure("batch_series_vs_floor", batchSeriesVsFloor(photo, folder.path()));
        printFigure("shard_overhead", shardOverhead(photo, folder.path()));
        printFigure("chart_vs_convert_patches", chartVsConvertPatches(photo));
    } catch (const std::exception &failure) {
        std::fprintf(stderr, "vexmira-bench: %s\n", failure.what());
        return 1;
    }
    return 0;
}
