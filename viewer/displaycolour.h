// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "colourprofile.h"
#include "labencoding.h"

#include <opencv2/core/mat.hpp>

#include <map>
#include <memory>
#include <mutex>
#include <utility>

// Brings pictures from their profile to the screen's for display, through Little CMS 8-bit
// transforms built once per profile and pixel type. The screen is sRGB.
class DisplayColour {
public:
    static DisplayColour &instance();

    DisplayColour();
    ~DisplayColour();
    DisplayColour(const DisplayColour &) = delete;
    DisplayColour &operator=(const DisplayColour &) = delete;

    // The profile a picture is shown from: its own; sRGB for none in the ICC mode; null when it
    // is shown as it is (none in the other modes, or the screen's own profile).
    ColourProfilePtr sourceProfile(const ColourProfilePtr &pictureProfile,
                                   LabEncoding encoding) const;

    // Writes `part` of `picture` (8- or 16-bit or float, 1, 3 or 4 channels in BGR(A) order)
    // converted from `source` into the same part of `shown` (CV_8UC4, BGRA, alpha left as it
    // is). False when the type or the profile's colour space does not allow it.
    bool convert(const cv::Mat &picture, const cv::Rect &part, const ColourProfilePtr &source,
                 cv::Mat &shown);

private:
    struct Transform;
    std::shared_ptr<Transform> transformFor(const ColourProfilePtr &source, unsigned format);

    ColourProfilePtr screen;
    std::mutex guard;
    // By source profile and input format; entries of profiles no longer alive are dropped.
    std::map<std::pair<const ColourProfile *, unsigned>, std::shared_ptr<Transform>> transforms;
};
