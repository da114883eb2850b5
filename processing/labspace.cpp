// SPDX-License-Identifier: GPL-3.0-or-later
#include "labspace.h"

#include "labmeasurement.h"
#include "profilelabtransforms.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <utility>

namespace {

// `part` as CV_32F in 0..1 for integer depths: one channel when `keepGrey` and the part is grey,
// otherwise three, blue-green-red.
cv::Mat floatValues(const cv::Mat &part, bool keepGrey) {
    const int channels = part.channels();
    cv::Mat scaled;
    part.convertTo(scaled, CV_32F, 1.0 / fullIntensity(part.depth()));
    if (channels == 3 || (channels == 1 && keepGrey))
        return scaled;
    cv::Mat bgr;
    cv::cvtColor(scaled, bgr, channels == 1 ? cv::COLOR_GRAY2BGR : cv::COLOR_BGRA2BGR);
    return bgr;
}

} // namespace

double fullIntensity(int depth) {
    switch (depth) {
    case CV_8U:
        return 255.0;
    case CV_16U:
        return 65535.0;
    default:
        return 1.0;
    }
}

LabSpace::LabSpace(LabEncoding encoding)
    : labEncoding(encoding),
      iccProfile(encoding == LabEncoding::Icc ? ColourProfile::srgb() : nullptr) {
}

LabSpace LabSpace::icc(ColourProfilePtr profile) {
    LabSpace space(LabEncoding::Icc);
    if (profile)
        space.iccProfile = std::move(profile);
    return space;
}

bool LabSpace::converts(int channels) const {
    if (channels != 1 && channels != 3 && channels != 4)
        return false;
    return !isIcc() || iccProfile->fits(channels) || channels == 1;
}

cv::Mat LabSpace::toLab(const cv::Mat &values) const {
    if (values.empty() || !isLabMeasurable(values.type()) || !converts(values.channels()))
        return {};
    cv::Mat lab;
    if (!isIcc()) {
        cv::cvtColor(floatValues(values, false), lab, bgrToLabConversion(labEncoding));
        return lab;
    }
    const ProfileLabTransforms &transforms = iccProfile->labTransforms();
    if (transforms.integerToLab(values, lab))
        return lab;
    const bool greyProfile = iccProfile->colourSpace() == ProfileColourSpace::Grey;
    transforms.toLab(floatValues(values, greyProfile), lab);
    return lab;
}

cv::Mat LabSpace::fromLab(const cv::Mat &lab, bool clip, std::int64_t *outOfRange) const {
    if (lab.type() != CV_32FC3)
        return {};
    cv::Mat values;
    if (!isIcc())
        cv::cvtColor(lab, values, labToBgrConversion(labEncoding));
    else if (!iccProfile->labTransforms().fromLab(lab, values))
        return {};
    if (outOfRange) {
        // Set where every channel of a pixel is inside.
        cv::Mat inside;
        cv::inRange(values, cv::Scalar::all(0.0), cv::Scalar::all(1.0), inside);
        *outOfRange = static_cast<std::int64_t>(values.total()) - cv::countNonZero(inside);
    }
    if (clip) {
        cv::min(values, 1.0, values);
        cv::max(values, 0.0, values);
    }
    return values;
}

bool LabSpace::operator==(const LabSpace &other) const {
    if (labEncoding != other.labEncoding)
        return false;
    return !isIcc() || iccProfile == other.iccProfile || iccProfile->sameAs(*other.iccProfile);
}

PictureProfileChoice &PictureProfileChoice::instance() {
    static PictureProfileChoice choice;
    return choice;
}

ColourProfilePtr PictureProfileChoice::value() const {
    const std::lock_guard<std::mutex> lock(guard);
    return current;
}

void PictureProfileChoice::set(ColourProfilePtr profile) {
    {
        const std::lock_guard<std::mutex> lock(guard);
        if (current == profile)
            return;
        current = profile;
    }
    emit changed(std::move(profile));
}

LabSpace currentLabSpace() {
    const LabEncoding encoding = currentLabEncoding();
    return encoding == LabEncoding::Icc ? LabSpace::icc(PictureProfileChoice::instance().value())
                                        : LabSpace(encoding);
}
