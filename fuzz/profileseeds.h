// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Writes seeds for the profile fuzzer into `folder`: real profiles from the system's ICC folders
// and two made by Little CMS (an L*a*b* profile and an abstract one with a colour table), each
// as a raw .icc file and embedded in small PNG, JPEG and TIFF pictures (8 and 16 bits) whose
// channels fit it. Returns the number of files written; profiles missing from the system are
// passed over.
int writeProfileSeeds(const QString &folder);
