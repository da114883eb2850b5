// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the fuzzers' seed corpus into a folder: a small picture in every format, depth and
// channel count the program writes, and real ICC profiles, raw and embedded in pictures. Hand-made
// broken headers and every input that ever crashed the fuzzer lie in fuzz/regressions, the second
// seed folder.
#include "imageencoding.h"
#include "profileseeds.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <opencv2/core.hpp>

#include <cstdio>
#include <vector>

namespace {

bool save(const QDir &folder, const QString &name, const QByteArray &bytes) {
    QFile file(folder.filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray asBytes(const std::vector<uchar> &bytes) {
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()));
}

// A 33 x 33 gradient (JPEG 2000 needs 32 a side) of the given type.
cv::Mat gradient(int type) {
    cv::Mat values(33, 33 * CV_MAT_CN(type), CV_64F);
    for (int row = 0; row < values.rows; ++row)
        for (int col = 0; col < values.cols; ++col)
            values.at<double>(row, col) = (row * 7 + col * 3) % 64 / 63.0;
    const int depth = CV_MAT_DEPTH(type);
    const double scale = depth == CV_8U    ? 255
                         : depth == CV_16U ? 65535
                         : depth == CV_16S ? 60000
                                           : 1;
    const double shift = depth == CV_16S ? -30000 : 0;
    cv::Mat typed;
    values.convertTo(typed, depth, scale, shift);
    return typed.reshape(CV_MAT_CN(type));
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_corpus <folder>\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot make %s\n", argv[1]);
        return 1;
    }
    const char *suffixes[] = {"png", "jpg", "bmp", "tif", "jp2",  "pbm", "pgm",
                              "ppm", "pnm", "pam", "sr",  "webp", "hdr", "pfm"};
    const int types[] = {CV_8UC1,  CV_8UC3,  CV_8UC4,  CV_16UC1, CV_16UC3, CV_16UC4,
                         CV_32FC1, CV_32FC3, CV_16SC1, CV_16SC3, CV_32SC1};
    int written = 0;
    for (const char *suffix : suffixes) {
        for (const int type : types) {
            const cv::Mat image = gradient(type);
            const QString name = QStringLiteral("seed_%1_%2.%3")
                                     .arg(QString::fromStdString(cv::typeToString(type)))
                                     .arg(written)
                                     .arg(QLatin1String(suffix));
            // Refusals (a signed picture as PNG, colour as PBM) are simply not seeds.
            const auto bytes =
                encodeImageRect(image, cv::Rect(0, 0, 33, 33), folder.filePath(name));
            if (!bytes)
                continue;
            written += save(folder, name, asBytes(*bytes));
        }
    }
    written += writeProfileSeeds(folder.path());
    std::printf("%d seed files in %s\n", written, argv[1]);
    return 0;
}
