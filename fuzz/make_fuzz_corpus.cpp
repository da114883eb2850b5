// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the fuzzers' seed corpus into a folder: a small picture in every format, depth and
// channel count the program writes, headers of every format read that declare more pixels
// than the size limit or the file allows, and real ICC profiles, raw and embedded in pictures.
// Hand-made broken headers and every input that ever crashed the fuzzer lie in
// fuzz/regressions, the second seed folder.
#include "imageencoding.h"
#include "profileseeds.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <opencv2/core.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <utility>
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

// Byte `index` (0: the lowest) of `value`; zero beyond its four.
char byteOf(std::uint32_t value, int index) {
    return index < 4 ? char((value >> (8 * index)) & 0xff) : '\0';
}

QByteArray bigEndian(std::uint32_t value, int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = byteOf(value, size - 1 - i);
    return bytes;
}

QByteArray littleEndian(std::uint32_t value, int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = byteOf(value, i);
    return bytes;
}

QByteArray padded(QByteArray bytes, int size) {
    bytes.resize(std::max<qsizetype>(bytes.size(), size), '\0');
    return bytes;
}

// Headers the reader must refuse before decoding, by name: text formats whose pixels would take
// gigabytes, compressed formats over the one-gigapixel limit.
std::vector<std::pair<QString, QByteArray>> oversizedHeaders() {
    QByteArray exrChannels;
    for (const char *name : {"B", "G", "R"})
        exrChannels += QByteArray(name) + QByteArray(17, '\0');
    exrChannels += '\0';
    return {
        {"huge_p6.ppm", padded("P6 30000 30000 255\n", 319)},
        {"huge_p5.pgm", padded("P5\n32000 32000\n255\n", 512)},
        {"huge_p4.pbm", padded("P4\n# comment\n300000 300000\n", 512)},
        {"huge.pam", padded("P7\nWIDTH 30000\nHEIGHT 30000\nDEPTH 4\nMAXVAL 255\n"
                            "TUPLTYPE RGB_ALPHA\nENDHDR\n",
                            512)},
        {"huge.pfm", padded("PF\n30000 30000\n-1.0\n", 512)},
        {"huge.sr",
         padded(QByteArray("\x59\xa6\x6a\x95", 4) + bigEndian(30000, 4) + bigEndian(30000, 4) +
                    bigEndian(24, 4) + bigEndian(0, 4) + bigEndian(1, 4),
                512)},
        {"huge.hdr", padded("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 40000 +X 40000\n", 512)},
        {"huge.webp",
         padded("RIFF" + littleEndian(22, 4) + "WEBPVP8X" + littleEndian(10, 4) +
                    littleEndian(0, 4) + littleEndian(16383, 3) + littleEndian(16383, 3),
                512)},
        {"huge.jp2",
         padded(QByteArray("\0\0\0\x0cjP  \r\n\x87\n", 12) + bigEndian(30, 4) + "jp2h" +
                    bigEndian(22, 4) + "ihdr" + bigEndian(40000, 4) + bigEndian(40000, 4) +
                    bigEndian(3, 2) + QByteArray("\x07\x07\0\0", 4),
                512)},
        {"huge.j2k",
         padded(QByteArray("\xff\x4f\xff\x51", 4) + bigEndian(47, 2) + bigEndian(0, 2) +
                    bigEndian(40000, 4) + bigEndian(40000, 4) + bigEndian(0, 24) + bigEndian(3, 2) +
                    QByteArray("\x07\x01\x01\x07\x01\x01\x07\x01\x01", 9),
                512)},
        {"huge.exr",
         padded(QByteArray("\x76\x2f\x31\x01\x02\0\0\0", 8) + QByteArray("channels\0chlist\0", 16) +
                    littleEndian(std::uint32_t(exrChannels.size()), 4) + exrChannels +
                    QByteArray("dataWindow\0box2i\0", 17) + littleEndian(16, 4) +
                    littleEndian(0, 8) + littleEndian(39999, 4) + littleEndian(39999, 4) +
                    QByteArray(1, '\0'),
                512)},
    };
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
    for (const auto &[name, bytes] : oversizedHeaders())
        written += save(folder, QStringLiteral("seed_oversized_") + name, bytes);
    written += writeProfileSeeds(folder.path());
    std::printf("%d seed files in %s\n", written, argv[1]);
    return 0;
}
