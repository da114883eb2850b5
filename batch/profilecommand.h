// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

// profile IN OUT.icc --chart ROWSxCOLS --reference FILE: fits a camera profile to the chart in
// IN (at the corners, or where --find-chart finds it), writes it to OUT.icc and prints the fit
// per patch as CSV.
int runProfileCommand(const QStringList &arguments);
