// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <vector>

// Why the ICC profile `icc` cannot be the colour space of a picture with `channels` channels
// (one or two: grey; three or four: RGB), in words for the user that name the profile's colour
// space; empty when Little CMS opens it and builds a floating-point transform from it to ICC
// L*a*b*. Costs opening the profile and building that transform once.
QString profileRefusal(const std::vector<unsigned char> &icc, int channels);

// The profile's description as Little CMS reads it, such as "ProPhoto RGB"; empty when the
// profile cannot be opened or has none.
QString profileDescription(const std::vector<unsigned char> &icc);
