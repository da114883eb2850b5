// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "colourprofile.h"
#include "labencoding.h"
#include "labspace.h"
#include "referenceseries.h"

#include <QString>

#include <optional>
#include <vector>

// Where and how a reference series writes its files.

enum class SeriesFormat { Jpeg, Png, Tiff, Png16, Tiff16 };

// Every format, in the panel's order.
const std::vector<SeriesFormat> &seriesFormats();
// "JPEG", "PNG", "TIFF", "PNG 16-bit", "TIFF 16-bit": the panel's combo items.
QString seriesFormatName(SeriesFormat format);
// "jpeg", "png", "tiff", "png16", "tiff16": the key in settings and on command lines.
QString seriesFormatKey(SeriesFormat format);
std::optional<SeriesFormat> seriesFormatFromKey(const QString &key);
// "jpg", "png", "tif" (16-bit formats too).
QString seriesFormatExtension(SeriesFormat format);
// Whether files of this format hold 16 bits a channel.
bool isSixteenBitFormat(SeriesFormat format);

struct SeriesOptions {
    // Empty: the drive root.
    QString folder;
    SeriesFormat format = SeriesFormat::Jpeg;
    // Real L* targets, rounded scaled codes and files held to their names in a closed loop.
    bool precise = false;
    // The conversions of the adjustment and of the measurement of the written files.
    LabEncoding encoding = LabEncoding::Linear;
    // The picture's profile in the ICC mode (null: sRGB); embedded in every file. Unused in
    // the other modes, whose files carry none.
    ColourProfilePtr profile = nullptr;
};

// The L*a*b* space of a series with these options.
LabSpace seriesLabSpace(const SeriesOptions &options);

// The folder the files go to: the drive root (resolved now) when none is chosen.
QString seriesFolder(const SeriesOptions &options);

// The ΔE76 from its name within which a file of the default method is on target: its worst case
// for a target inside the gamut is 3.4.
inline constexpr double defaultMethodGoal = 4.0;
// The goal of a file written with these options: the precise mode's for its format, or the
// default method's.
double seriesGoal(const SeriesOptions &options);

// The two kinds of series with their parameters: the grid's steps or the delta series' centre.
struct SeriesPlan {
    enum class Kind { Grid, Delta };
    Kind kind = Kind::Grid;
    LabValue parameters;

    // 0 for a grid whose steps are not all positive.
    int size() const;
    // The image's value, codes and described name ("C:/ref_img_..." with ".jpg").
    ReferenceImage image(int index) const;
    // "ref_img_grid_<sL>_<sa>_<sb>" or "ref_img_(<L>_<a>_<b>)": the manifest's name without
    // its extension.
    QString manifestBaseName() const;
};

// The file name (no folder) of `image` written in `format`: the described name without the
// drive prefix, its extension the format's.
QString seriesFileName(const ReferenceImage &image, SeriesFormat format);
