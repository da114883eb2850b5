// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a 16-bit TIFF in ProPhoto RGB with the profile embedded, two flat halves rendered by
// Little CMS from L*a*b*, and prints per half the sRGB colour Little CMS makes of its stored
// values and those values brought to 8 bits as they are: "r g b  r g b" per line.
// Usage: make-prophoto-picture <profile.icc> <picture.tif>
#include "picturefile.h"

#include <QFile>
#include <lcms2.h>
#include <opencv2/core.hpp>

#include <cmath>
#include <cstdio>

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make-prophoto-picture <profile.icc> <picture.tif>\n");
        return 2;
    }
    QFile profileFile(QString::fromLocal8Bit(argv[1]));
    if (!profileFile.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray bytes = profileFile.readAll();
    cmsHPROFILE proPhoto = cmsOpenProfileFromMem(bytes.constData(), bytes.size());
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM render = cmsCreateTransform(lab, TYPE_Lab_DBL, proPhoto, TYPE_BGR_16,
                                              INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsHTRANSFORM show = cmsCreateTransform(proPhoto, TYPE_BGR_16, srgb, TYPE_RGB_DBL,
                                            INTENT_RELATIVE_COLORIMETRIC, 0);
    if (!proPhoto || !render || !show)
        return 1;
    cv::Mat picture(300, 400, CV_16UC3);
    const double halves[2][3] = {{55, -40, 30}, {45, 30, -40}};
    for (int half = 0; half < 2; ++half) {
        cv::Vec3w stored;
        cmsDoTransform(render, halves[half], &stored, 1);
        picture(cv::Rect(half * 200, 0, 200, 300))
            .setTo(cv::Scalar(stored[0], stored[1], stored[2]));
        double rgb[3];
        cmsDoTransform(show, &stored, rgb, 1);
        std::printf("%ld %ld %ld  %d %d %d\n", std::lround(rgb[0] * 255), std::lround(rgb[1] * 255),
                    std::lround(rgb[2] * 255), stored[2] / 257, stored[1] / 257, stored[0] / 257);
    }
    const std::vector<unsigned char> icc(bytes.begin(), bytes.end());
    return writeImageRectWithProfile(picture, cv::Rect(0, 0, 400, 300),
                                     QString::fromLocal8Bit(argv[2]), icc)
               ? 0
               : 1;
}
