// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "exitcode.h"
#include "imagejob.h"
#include "meanlabadjustment.h"

#include <QStringList>

// The subcommands that turn one image into one file, each the viewer's command followed by what
// it writes. Each run...Command parses its arguments, then hands them to the work function.

// warp IN OUT: the viewer's Warp then Save, which writes the centred square the corners moved
// onto.
ExitCode warpImage(const ImageJob &job);
int runWarpCommand(const QStringList &arguments);

// shade IN OUT: the viewer's Shading Correction with the given cell size, then Save.
struct ShadeJob {
    ImageJob image;
    int cellSize = 100;
    LabEncoding encoding = LabEncoding::Linear;
};
ExitCode shadeImage(const ShadeJob &job);
int runShadeCommand(const QStringList &arguments);

// setlab IN OUT: "Set Mean Lab Value"; OUT holds the whole adjusted image. Precise: the value's
// real codes, rounded, and OUT held to its value as a precise series holds its files, measured
// over the re-coloured rectangle as OUT's bytes decode.
struct SetLabJob {
    ImageJob image;
    LabValue lab;
    LabEncoding encoding = LabEncoding::Linear;
    bool precise = false;
};
ExitCode setLabImage(const SetLabJob &job);
int runSetLabCommand(const QStringList &arguments);
