// SPDX-License-Identifier: GPL-3.0-or-later
#include "inputimage.h"

#include "batchmessages.h"
#include "imagefiles.h"
#include "optionvalues.h"
#include "picturefile.h"

std::optional<InputImage> readInputImage(const QString &path, const std::optional<Quad> &corners,
                                         const PictureColour &colour) {
    QString error;
    // The OpenCV modes never look at the header's profile, so their reading is as it was.
    PictureFile picture;
    if (colour.encoding == LabEncoding::Icc)
        picture = readPictureFile(path, &error);
    else
        picture.pixels = readImageFile(path, &error);
    if (picture.pixels.empty()) {
        printFileError(path, error);
        return std::nullopt;
    }
    if (!picture.profileProblem.isEmpty() && !colour.assigned)
        printFileError(path,
                       picture.profileProblem + QStringLiteral(" The picture is read as sRGB."));
    const LabSpace space = pictureLabSpace(colour, path, picture.pixels, picture.icc);
    if (!corners)
        return InputImage{picture.pixels, innerQuarterCorners(picture.pixels.size()), space};
    const QString refusal = cornersRefusal(*corners, picture.pixels.size());
    if (!refusal.isEmpty()) {
        printFileError(path, refusal);
        return std::nullopt;
    }
    return InputImage{picture.pixels, *corners, space};
}
