// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

// The patches of the colour chart that the demo photograph and the application icon show: four
// rows of six in 8-bit sRGB, the familiar skin, sky, foliage and primary tones above a neutral
// row that runs from white to black.
struct ChartColour {
    unsigned char red;
    unsigned char green;
    unsigned char blue;
};

inline constexpr int chartColumns = 6;
inline constexpr int chartRows = 4;

inline constexpr std::array<ChartColour, chartColumns *chartRows> chartColours = {{
    {115, 82, 68},   {194, 150, 130}, {98, 122, 157}, {87, 108, 67},   {133, 128, 177},
    {103, 189, 170}, {214, 126, 44},  {80, 91, 166},  {193, 90, 99},   {94, 60, 108},
    {157, 188, 64},  {224, 163, 46},  {56, 61, 150},  {70, 148, 73},   {175, 54, 60},
    {231, 199, 31},  {187, 86, 149},  {8, 133, 161},  {243, 243, 242}, {200, 200, 200},
    {160, 160, 160}, {122, 122, 121}, {85, 85, 85},   {52, 52, 52},
}};

// Index of the red patch (third row), whose red channel clearly dominates.
inline constexpr int chartRedPatch = 14;
