// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "colourprofile.h"
#include "labencoding.h"

#include <QObject>
#include <opencv2/core/mat.hpp>

#include <cstdint>
#include <mutex>

// The value of full intensity in a picture of `depth`: 255 for 8 bits, 65535 for 16, 1 for float.
double fullIntensity(int depth);

// What a picture's numbers are, and so how they become L*a*b*: in the linear and sRGB
// encodings through OpenCV's float conversions (D65, no adaptation), in the ICC encoding
// through the picture's profile to ICC L*a*b* (D50, relative colorimetric) by Little CMS in
// floating point. Every function that turns numbers into L*a*b* takes one.
class LabSpace {
public:
    // Implicit, so that an encoding alone still says everything in the two OpenCV modes. In
    // the ICC mode the profile is sRGB.
    LabSpace(LabEncoding encoding = LabEncoding::Linear);
    // The ICC mode with `profile`; sRGB when it is null.
    static LabSpace icc(ColourProfilePtr profile);

    LabEncoding encoding() const { return labEncoding; }
    bool isIcc() const { return labEncoding == LabEncoding::Icc; }
    // The profile of the ICC mode (never null there); null in the other two.
    const ColourProfilePtr &profile() const { return iccProfile; }

    // Whether pictures of `channels` channels can be converted: always in the OpenCV modes; in
    // the ICC mode when the profile fits them, or for one channel with an RGB profile (grey
    // then counts as three equal channels, as in the OpenCV modes).
    bool converts(int channels) const;

    // The float L*a*b* (CV_32FC3) of picture values: 8- or 16-bit unsigned or 32- or 64-bit
    // float, with 1, 3 or 4 channels in BGR(A) order; integer values are divided by 255 or
    // 65535 first, a fourth channel (alpha) is ignored. Empty for another type or when
    // converts() is false. Large parts are converted in parallel; 8- and 16-bit grey parts,
    // and colour parts in matrix/shaper profiles, through per-code tables that Little CMS
    // computed.
    cv::Mat toLab(const cv::Mat &values) const;

    // The picture values (CV_32F, 0..1 for the full range) of a float L*a*b* picture
    // (CV_32FC3): three channels BGR, or one for a grey profile. With `clip`, values outside
    // 0..1 are brought to the nearest end. `outOfRange`, when given, receives how many pixels
    // had a value outside 0..1 before clipping. Empty when `lab` is not CV_32FC3, or when the
    // profile describes only the way in (an input profile made of a table alone).
    cv::Mat fromLab(const cv::Mat &lab, bool clip, std::int64_t *outOfRange = nullptr) const;

    bool operator==(const LabSpace &other) const;
    bool operator!=(const LabSpace &other) const { return !(*this == other); }

private:
    LabEncoding labEncoding;
    ColourProfilePtr iccProfile;
};

// The profile of the picture the viewer shows, read by every Lab step of the viewer in the ICC
// mode; null for a picture without one. Safe to read from any thread; set and notified on the
// GUI thread.
class PictureProfileChoice : public QObject {
    Q_OBJECT

public:
    static PictureProfileChoice &instance();

    ColourProfilePtr value() const;
    // Emits changed() when `profile` is not the same object as the current one.
    void set(ColourProfilePtr profile);

signals:
    void changed(ColourProfilePtr profile);

private:
    PictureProfileChoice() = default;

    mutable std::mutex guard;
    ColourProfilePtr current;
};

// The chosen encoding with, in the ICC mode, the current picture's profile (sRGB when none).
LabSpace currentLabSpace();
