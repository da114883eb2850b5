// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "chartcomparison.h"
#include "labspace.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// Writes the patches, each with its index, measured L*a*b*, standard deviations and pixel count
// and, when `withReference`, its reference L*a*b*, ΔE76 and ΔE2000. Written whole or not at
// all (through QSaveFile). False with the cause in `error` when a patch has no measurement or
// the file cannot be written.

// Both say which L*a*b* the values of `space` are (see labSpaceLabel).

// CGATS.17 through Little CMS's IT8 writer, with the encoding's key ("linear", "srgb" or "icc")
// as the keyword ENCODING and the label as LAB_SPACE.
bool exportCgats(const QString &path, const std::vector<PatchComparison> &patches,
                 bool withReference, const LabSpace &space, QString &error);
// CSV: a "# L*a*b*: <label>" line, then a header line; its L, a and b columns make it a reference
// file itself.
bool exportCsv(const QString &path, const std::vector<PatchComparison> &patches, bool withReference,
               const LabSpace &space, QString &error);
// The text of that CSV file; nothing, with the cause in `error`, when a patch has no measurement.
std::optional<QByteArray> chartCsv(const std::vector<PatchComparison> &patches, bool withReference,
                                   const LabSpace &space, QString &error);

// A reference file (SAMPLE_ID, LAB_L, LAB_A, LAB_B) as CGATS.17, with a comment line and the
// encoding under which the values hold as the keyword ENCODING.
bool writeCgatsReference(const QString &path, const ChartReference &reference,
                         const QString &comment, const QString &encodingKey, QString &error);
