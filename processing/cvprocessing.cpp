// SPDX-License-Identifier: GPL-3.0-or-later
#include "cvprocessing.h"

#include <algorithm>

bool CVProcessing::pushImage(const cv::Mat &image, bool toSource) {
    if (image.empty())
        return false;
    cv::Mat *images = toSource ? sourceImages : resultImages;
    int &count = toSource ? sourceCount : resultCount;
    if (count == slotCount) {
        std::move(images + 1, images + slotCount, images);
        --count;
    }
    images[count] = image;
    ++count;
    return true;
}

cv::Mat &CVProcessing::image(bool fromSource, int index, bool relative) {
    cv::Mat *images = fromSource ? sourceImages : resultImages;
    const int count = fromSource ? sourceCount : resultCount;
    if (count == 0) {
        noImage.release();
        return noImage;
    }
    // Relative indices count back from the last entry; any index is kept to the used slots.
    const int slot = relative ? index + count - 1 : (index == -1 ? count - 1 : index);
    return images[std::clamp(slot, 0, count - 1)];
}

cv::Point *CVProcessing::cornerPoints(bool target) {
    return target ? targetCorners : corners;
}

bool CVProcessing::isCurrentImageEmpty() const {
    return sourceCount == 0 || sourceImages[sourceCount - 1].empty();
}
