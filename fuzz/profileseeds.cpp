// SPDX-License-Identifier: GPL-3.0-or-later
#include "profileseeds.h"

#include "embeddedprofile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <lcms2.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

bool save(const QString &path, const Bytes &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size())) ==
               qint64(bytes.size());
}

Bytes fileBytes(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = file.readAll();
    return Bytes(all.begin(), all.end());
}

// Saves and closes a profile Little CMS made.
Bytes savedProfile(cmsHPROFILE profile) {
    Bytes bytes;
    cmsUInt32Number size = 0;
    if (profile && cmsSaveProfileToMem(profile, nullptr, &size)) {
        bytes.resize(size);
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size))
            bytes.clear();
    }
    if (profile)
        cmsCloseProfile(profile);
    return bytes;
}

struct Seed {
    QString name;
    Bytes icc;
    int channels;
};

std::vector<Seed> seedProfiles() {
    const QString system = QStringLiteral("/usr/share/color/icc/");
    std::vector<Seed> seeds;
    for (const char *name : {"colord/ProPhotoRGB.icc", "colord/AdobeRGB1998.icc",
                             "colord/Rec709.icc", "colord/sRGB.icc"})
        seeds.push_back({QFileInfo(QLatin1String(name)).completeBaseName(),
                         fileBytes(system + QLatin1String(name)), 3});
    seeds.push_back(
        {QStringLiteral("Gray-CIE_L"), fileBytes(system + QStringLiteral("Gray-CIE_L.icc")), 1});
    seeds.push_back({QStringLiteral("lab4"), savedProfile(cmsCreateLab4Profile(nullptr)), 3});
    seeds.push_back({QStringLiteral("abstract"),
                     savedProfile(cmsCreateBCHSWabstractProfile(5, 1, 1.1, 5, 2, 5000, 6500)), 3});
    return seeds;
}

cv::Mat gradient(int type) {
    cv::Mat values(17, 17 * CV_MAT_CN(type), CV_64F);
    for (int row = 0; row < values.rows; ++row)
        for (int col = 0; col < values.cols; ++col)
            values.at<double>(row, col) = (row * 7 + col * 3) % 64 / 63.0;
    cv::Mat typed;
    values.convertTo(typed, CV_MAT_DEPTH(type), CV_MAT_DEPTH(type) == CV_16U ? 65535 : 255);
    return typed.reshape(CV_MAT_CN(type));
}

} // namespace

int writeProfileSeeds(const QString &folder) {
    const QDir dir(folder);
    int written = 0;
    for (const Seed &seed : seedProfiles()) {
        if (seed.icc.empty())
            continue;
        written += save(dir.filePath(seed.name + QStringLiteral(".icc")), seed.icc);
        const struct {
            const char *extension;
            int depth;
        } pictures[] = {
            {".png", CV_8U}, {".png", CV_16U}, {".tif", CV_8U}, {".tif", CV_16U}, {".jpg", CV_8U}};
        for (const auto &picture : pictures) {
            std::vector<uchar> plain;
            if (!cv::imencode(picture.extension,
                              gradient(CV_MAKETYPE(picture.depth, seed.channels)), plain))
                continue;
            const std::optional<Bytes> carrying = embedProfile(plain, seed.icc);
            if (!carrying)
                continue;
            const QString name = QStringLiteral("profile_%1_%2bit%3")
                                     .arg(seed.name)
                                     .arg(picture.depth == CV_16U ? 16 : 8)
                                     .arg(QLatin1String(picture.extension));
            written += save(dir.filePath(name), *carrying);
        }
    }
    return written;
}
