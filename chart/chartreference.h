// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <opencv2/core/matx.hpp>

#include <optional>
#include <vector>

// The reference L*a*b* of a chart's patches, in the file's order, which is the grid's row-major
// order.
using ChartReference = std::vector<cv::Vec3d>;

// What a reference file gave: L*a*b* as such, or XYZ that was converted to D50 L*a*b*.
enum class ReferenceSource { Lab, XyzConvertedToLab };

// Reads a CGATS.17 text file through Little CMS's IT8 parser: the first table's LAB_L, LAB_A
// and LAB_B fields or, without them, its XYZ_X, XYZ_Y and XYZ_Z fields (0-100) converted to
// D50 L*a*b*. A leading UTF-8 byte-order mark is skipped. Nothing, and the cause naming the
// file and the line or field in `error`, for a file that cannot be read, is not CGATS text,
// lacks both sets of fields or has a value that is not a number. `source`, when given, learns
// which set was read.
std::optional<ChartReference> loadCgatsReference(const QString &path, QString &error,
                                                 ReferenceSource *source = nullptr);

// Reads a CSV file (comma or semicolon separated) whose header names columns L, a and b, in
// any case and order, among others. Blank lines are skipped. Nothing, and the cause naming the
// file and the line in `error`, for a header without those columns or a missing or non-numeric
// cell.
std::optional<ChartReference> loadCsvReference(const QString &path, QString &error);

// By name: CSV for a ".csv" file, CGATS otherwise.
std::optional<ChartReference> loadReference(const QString &path, QString &error,
                                            ReferenceSource *source = nullptr);

// Empty when `reference` has `patchCount` patches, else the message for the file `path`.
QString referenceCountProblem(const ChartReference &reference, int patchCount, const QString &path);
