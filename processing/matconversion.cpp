// SPDX-License-Identifier: GPL-3.0-or-later
#include "matconversion.h"

#include <QList>
#include <QSysInfo>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <memory>

namespace {

// value x 255 truncated toward zero, saturated; NaN shows black.
inline uchar floatToByte(double value) {
    const double scaled = value * 255.0;
    if (!(scaled > 0.0))
        return 0;
    if (scaled >= 255.0)
        return 255;
    return static_cast<uchar>(scaled);
}

template <typename T> void floatTo8Bit(const cv::Mat &source, cv::Mat &target) {
    target.create(source.size(), CV_MAKETYPE(CV_8U, source.channels()));
    const int values = source.cols * source.channels();
    cv::parallel_for_(cv::Range(0, source.rows), [&](const cv::Range &rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const T *in = source.ptr<T>(y);
            uchar *out = target.ptr<uchar>(y);
            for (int i = 0; i < values; ++i)
                out[i] = floatToByte(in[i]);
        }
    });
}

const QList<QRgb> &greyTable() {
    static const QList<QRgb> table = [] {
        QList<QRgb> entries;
        entries.reserve(256);
        for (int i = 0; i < 256; ++i)
            entries.append(qRgb(i, i, i));
        return entries;
    }();
    return table;
}

// Format_ARGB32 keeps each pixel as the word 0xAARRGGBB: in memory on a little-endian machine
// the bytes B, G, R, A of a CV_8UC4 matrix. `fill` writes such BGRA pixels into the matrix it is
// given, which on little-endian machines lies over the picture's own rows.
template <typename Fill> QImage argb32Picture(const cv::Size &size, Fill fill) {
    QImage picture(size.width, size.height, QImage::Format_ARGB32);
    if (picture.isNull())
        return picture;
    cv::Mat pixels(size, CV_8UC4, picture.bits(), static_cast<size_t>(picture.bytesPerLine()));
    if constexpr (QSysInfo::ByteOrder == QSysInfo::LittleEndian) {
        fill(pixels);
    } else {
        cv::Mat bgra;
        fill(bgra);
        const int fromTo[] = {0, 3, 1, 2, 2, 1, 3, 0};
        cv::mixChannels(&bgra, 1, &pixels, 1, fromTo, 4);
    }
    return picture;
}

QImage qImageFromBgra8(const cv::Mat &mat) {
    return argb32Picture(mat.size(), [&](cv::Mat &pixels) {
        cv::bitwise_or(mat, cv::Scalar(0, 0, 0, 255), pixels);
    });
}

void releaseMat(void *mat) {
    delete static_cast<cv::Mat *>(mat);
}

// A read-only picture over the matrix's rows at its own row step. It holds a header of the
// matrix, so the buffer lives as long as the picture.
QImage pictureOverMat(const cv::Mat &mat, QImage::Format format) {
    if (mat.empty())
        return {};
    auto holder = std::make_unique<cv::Mat>(mat);
    QImage picture(static_cast<const uchar *>(holder->data), mat.cols, mat.rows,
                   static_cast<qsizetype>(mat.step[0]), format, releaseMat, holder.get());
    if (!picture.isNull())
        holder.release();
    return picture;
}

} // namespace

QImage qImageFromBgr8(const cv::Mat &mat) {
    if (mat.empty())
        return {};
    return argb32Picture(mat.size(),
                         [&](cv::Mat &pixels) { cv::cvtColor(mat, pixels, cv::COLOR_BGR2BGRA); });
}

QImage qImageFromGray64F(const cv::Mat &mat) {
    if (mat.empty())
        return {};
    return argb32Picture(mat.size(), [&](cv::Mat &pixels) {
        pixels.create(mat.size(), CV_8UC4);
        cv::parallel_for_(cv::Range(0, mat.rows), [&](const cv::Range &rows) {
            for (int y = rows.start; y < rows.end; ++y) {
                const double *in = mat.ptr<double>(y);
                cv::Vec4b *out = pixels.ptr<cv::Vec4b>(y);
                for (int x = 0; x < mat.cols; ++x) {
                    const uchar grey = floatToByte(in[x]);
                    out[x] = cv::Vec4b(grey, grey, grey, 255);
                }
            }
        });
    });
}

QImage qImageFromGray8(const cv::Mat &mat) {
    QImage picture = pictureOverMat(mat, QImage::Format_Indexed8);
    if (!picture.isNull())
        picture.setColorTable(greyTable());
    return picture;
}

QImage qImageViewOfMat(const cv::Mat &mat) {
    if (mat.dims != 2)
        return {};
    switch (mat.type()) {
    case CV_8UC3:
        return pictureOverMat(mat, QImage::Format_BGR888);
    case CV_8UC1:
        return pictureOverMat(mat, QImage::Format_Grayscale8);
    default:
        return {};
    }
}

QImage qImageFromMat(const cv::Mat &mat) {
    if (mat.empty() || mat.dims != 2)
        return {};
    switch (mat.type()) {
    case CV_8UC1:
        return qImageFromGray8(mat);
    case CV_8UC3:
        return qImageFromBgr8(mat);
    case CV_64FC1:
        return qImageFromGray64F(mat);
    default:
        break;
    }
    const cv::Mat eightBit = depthTo8Bit(mat);
    if (eightBit.empty())
        return {};
    switch (eightBit.channels()) {
    case 1:
        return qImageFromGray8(eightBit);
    case 3:
        return qImageFromBgr8(eightBit);
    case 4:
        return qImageFromBgra8(eightBit);
    default:
        return {};
    }
}

cv::Mat depthTo8Bit(const cv::Mat &mat) {
    cv::Mat eightBit;
    switch (mat.depth()) {
    case CV_8U:
        eightBit = mat;
        break;
    case CV_16U:
        // Rounds: (v + 128) / 257 in integers, which maps 65535 to 255 and 128 to 0.
        mat.convertTo(eightBit, CV_8U, 1.0 / 257.0);
        break;
    case CV_32F:
        floatTo8Bit<float>(mat, eightBit);
        break;
    case CV_64F:
        floatTo8Bit<double>(mat, eightBit);
        break;
    default:
        break;
    }
    return eightBit;
}

bool convertsToBgr8(int type) {
    const int channels = CV_MAT_CN(type);
    const int depth = CV_MAT_DEPTH(type);
    return (channels == 1 || channels == 3 || channels == 4) &&
           (depth == CV_8U || depth == CV_16U || depth == CV_32F || depth == CV_64F);
}

cv::Mat toBgr8(const cv::Mat &mat) {
    if (mat.empty() || mat.dims != 2 || !convertsToBgr8(mat.type()))
        return {};
    const int channels = mat.channels();
    const cv::Mat eightBit = depthTo8Bit(mat);
    if (eightBit.empty() || channels == 3)
        return eightBit;
    cv::Mat bgr;
    cv::cvtColor(eightBit, bgr, channels == 1 ? cv::COLOR_GRAY2BGR : cv::COLOR_BGRA2BGR);
    return bgr;
}
