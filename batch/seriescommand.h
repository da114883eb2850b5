// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "exitcode.h"
#include "imagejob.h"
#include "picturecolour.h"
#include "seriesrun.h"

#include <QStringList>

// series grid|delta IN: the reference series of the viewer's panel with its manifest, or one
// shard of it.
struct SeriesJob {
    ImageJob image;
    SeriesPlan plan;
    SeriesOptions options;
    SeriesShard shard;
    PictureColour colour;
    bool quiet = false;
};
ExitCode writeSeries(const SeriesJob &job);
int runSeriesCommand(const QStringList &arguments);
