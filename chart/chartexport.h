// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "chartcomparison.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// Writes the patches, each with its index, measured L*a*b*, standard deviations and pixel count
// and, when `withReference`, its reference L*a*b*, ΔE76 and ΔE2000. Written whole or not at
// all (through QSaveFile). False with the cause in `error` when a patch has no measurement or
// the file cannot be written.

// CGATS.17 through Little CMS's IT8 writer; `encodingKey` ("linear" or "srgb") is kept as the
// keyword ENCODING.
bool exportCgats(const QString &path, const std::vector<PatchComparison> &patches,
                 bool withReference, const QString &encodingKey, QString &error);
// CSV with a header line; its L, a and b columns make it a reference file itself.
bool exportCsv(const QString &path, const std::vector<PatchComparison> &patches, bool withReference,
               QString &error);
// The text of that CSV file; nothing, with the cause in `error`, when a patch has no measurement.
std::optional<QByteArray> chartCsv(const std::vector<PatchComparison> &patches, bool withReference,
                                   QString &error);

// A reference file (SAMPLE_ID, LAB_L, LAB_A, LAB_B) as CGATS.17, with a comment line and the
// encoding under which the values hold as the keyword ENCODING.
bool writeCgatsReference(const QString &path, const ChartReference &reference,
                         const QString &comment, const QString &encodingKey, QString &error);
