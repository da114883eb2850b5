// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "colourprofile.h"
#include "labencoding.h"

#include <opencv2/core/mat.hpp>

#include <map>
#include <memory>
#include <mutex>
#include <utility>

// Brings painted pictures from their profile to the screen's, through Little CMS 8-bit
// transforms built once per profile. The screen's profile is the X11 root window's, else sRGB.
class DisplayColour {
public:
    static DisplayColour &instance();

    // Reads the screen's profile; needs a QGuiApplication.
    DisplayColour();
    ~DisplayColour();
    DisplayColour(const DisplayColour &) = delete;
    DisplayColour &operator=(const DisplayColour &) = delete;

    const ColourProfilePtr &screenProfile() const { return screen; }

    // The profile a picture of `channels` channels is shown from: its own; sRGB for none in the
    // ICC mode; null when it is shown as it is (none in the other modes, the screen's own
    // profile, or a grey profile on a colour picture).
    ColourProfilePtr sourceProfile(const ColourProfilePtr &pictureProfile, LabEncoding encoding,
                                   int channels) const;

    // Converts `shown` (CV_8UC4, BGRA as QImage's RGB32 lays it out in memory) in place from
    // `source` to the screen's colours, the fourth byte left as it is. From a grey profile the
    // first byte of each pixel is read as the grey. False when Little CMS makes no transform.
    bool convert(cv::Mat &shown, const ColourProfilePtr &source);

private:
    struct Transform;
    std::shared_ptr<Transform> transformFor(const ColourProfilePtr &source);

    ColourProfilePtr screen;
    std::mutex guard;
    // By source profile; entries of profiles no longer alive are dropped.
    std::map<const ColourProfile *, std::shared_ptr<Transform>> transforms;
};
