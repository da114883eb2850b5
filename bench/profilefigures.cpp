// SPDX-License-Identifier: GPL-3.0-or-later
#include "figures.h"

#include "measure.h"
#include "picturefile.h"

#include <QDir>
#include <QFile>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <vector>

double loadIccVsImread(const cv::Mat &photo, const QString &folder) {
    QFile profile(QStringLiteral("/usr/share/color/icc/colord/ProPhotoRGB.icc"));
    if (!profile.open(QIODevice::ReadOnly))
        throw BenchFailure("the ProPhoto RGB profile cannot be read");
    const QByteArray iccBytes = profile.readAll();
    const std::vector<unsigned char> icc(iccBytes.begin(), iccBytes.end());

    // What a raw converter exports for colour work: 16 bits with the profile embedded.
    cv::Mat sixteenBit;
    photo.convertTo(sixteenBit, CV_16U, 257);
    const QString path = QDir(folder).filePath(QStringLiteral("prophoto16.tif"));
    QString error;
    if (!writeImageRectWithProfile(sixteenBit, cv::Rect(0, 0, photo.cols, photo.rows), path, icc,
                                   &error))
        throw BenchFailure("the 16-bit TIFF with its profile cannot be written: " +
                           error.toStdString());

    PictureFile picture;
    const Timed withProfile{[&] {
                                picture = readPictureFile(path);
                                if (picture.pixels.empty() || picture.icc != icc)
                                    throw BenchFailure("readPictureFile lost the picture or its "
                                                       "profile");
                            },
                            [&] { picture = PictureFile(); }};
    cv::Mat read;
    const std::string name = path.toStdString();
    const Timed imread{[&] { read = cv::imread(name, cv::IMREAD_UNCHANGED); },
                       [&] { read.release(); }};
    return medianRatio(withProfile, imread, 9);
}
