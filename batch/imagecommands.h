// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "exitcode.h"
#include "imagejob.h"
#include "meanlabadjustment.h"
#include "picturecolour.h"

#include <QStringList>

// The subcommands that turn one image into one file, each the viewer's command followed by what
// it writes. Each run...Command parses its arguments, then hands them to the work function.

// warp IN OUT: the viewer's Warp then Save, which writes the centred square the corners moved
// onto; in the ICC mode OUT carries the picture's profile.
ExitCode warpImage(const ImageJob &job, const PictureColour &colour = {});
int runWarpCommand(const QStringList &arguments);

// shade IN OUT: the viewer's Shading Correction with the given cell size, then Save. In the ICC
// mode in floating point at the picture's depth, OUT carrying the picture's profile.
struct ShadeJob {
    ImageJob image;
    int cellSize = 100;
    PictureColour colour;
};
ExitCode shadeImage(const ShadeJob &job);
int runShadeCommand(const QStringList &arguments);

// setlab IN OUT: "Set Mean Lab Value"; OUT holds the whole adjusted image. Precise: the value's
// real codes, rounded, and OUT held to its value as a precise series holds its files, measured
// over the re-coloured rectangle as OUT's bytes decode.
struct SetLabJob {
    ImageJob image;
    LabValue lab;
    PictureColour colour;
    bool precise = false;
};
ExitCode setLabImage(const SetLabJob &job);
int runSetLabCommand(const QStringList &arguments);
