// SPDX-License-Identifier: GPL-3.0-or-later
#include "profilelabtransforms.h"

#include "profilesignature.h"

#include <opencv2/core.hpp>

#include <stdexcept>

namespace {

// Rows converted per task: enough work to be worth a thread, few enough to share out.
constexpr int rowsPerTask = 16;

struct ProfileCloser {
    void operator()(void *profile) const { cmsCloseProfile(profile); }
};

// Any of these makes Little CMS read the profile as a table, not as curves and a matrix.
const cmsTagSignature tableTags[] = {cmsSigAToB0Tag, cmsSigAToB1Tag, cmsSigAToB2Tag,
                                     cmsSigDToB0Tag, cmsSigDToB1Tag, cmsSigDToB2Tag};

// Runs `convertRows` over row ranges of `rows` rows, on several threads when there are many.
template <typename Function> void forRowRanges(int rows, const Function &convertRows) {
    const int tasks = (rows + rowsPerTask - 1) / rowsPerTask;
    cv::parallel_for_(cv::Range(0, tasks), [&](const cv::Range &range) {
        convertRows(range.start * rowsPerTask, std::min(rows, range.end * rowsPerTask));
    });
}

// `table` at every code of `values` (one channel, 8 or 16 bit) into `lab`.
template <typename Code>
void lookUp(const cv::Mat &values, const std::vector<cv::Vec3f> &table, cv::Mat &lab) {
    forRowRanges(values.rows, [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            const Code *code = values.ptr<Code>(y);
            cv::Vec3f *out = lab.ptr<cv::Vec3f>(y);
            for (int x = 0; x < values.cols; ++x)
                out[x] = table[code[x]];
        }
    });
}

} // namespace

ProfileLabTransforms::ProfileLabTransforms(cmsHPROFILE profile) {
    const cmsUInt32Number space = profileColourSpace(profile);
    if (space != cmsSigRgbData && space != cmsSigGrayData)
        throw std::runtime_error("only RGB and grey profiles convert to L*a*b*");
    channelCount = space == cmsSigRgbData ? 3 : 1;
    const cmsUInt32Number deviceFormat = channelCount == 3 ? TYPE_BGR_FLT : TYPE_GRAY_FLT;

    const std::unique_ptr<void, ProfileCloser> lab(cmsCreateLab4Profile(nullptr));
    if (!lab)
        throw std::runtime_error("Little CMS could not make an L*a*b* profile");
    toLabTransform.reset(cmsCreateTransform(profile, deviceFormat, lab.get(), TYPE_Lab_FLT,
                                            INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE));
    if (!toLabTransform)
        throw std::runtime_error("Little CMS cannot convert this profile to L*a*b*");
    fromLabTransform.reset(cmsCreateTransform(lab.get(), TYPE_Lab_FLT, profile, deviceFormat,
                                              INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE));
    if (channelCount == 3)
        readMatrixShaper(profile);
}

ProfileLabTransforms::~ProfileLabTransforms() = default;

void ProfileLabTransforms::readMatrixShaper(cmsHPROFILE profile) {
    if (!cmsIsMatrixShaper(profile))
        return;
    for (const cmsTagSignature tag : tableTags)
        if (cmsIsTag(profile, tag))
            return;
    const cmsTagSignature curveTags[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    const cmsTagSignature colorantTags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                             cmsSigBlueColorantTag};
    auto model = std::make_unique<MatrixShaper>();
    for (int c = 0; c < 3; ++c) {
        const auto *curve = static_cast<const cmsToneCurve *>(cmsReadTag(profile, curveTags[c]));
        const auto *colorant = static_cast<const cmsCIEXYZ *>(cmsReadTag(profile, colorantTags[c]));
        if (!curve || !colorant)
            return;
        model->curves[c] = curve;
        model->colorants[0][c] = colorant->X;
        model->colorants[1][c] = colorant->Y;
        model->colorants[2][c] = colorant->Z;
        model->linear8[c].resize(256);
        for (int code = 0; code < 256; ++code)
            model->linear8[c][static_cast<std::size_t>(code)] =
                cmsEvalToneCurveFloat(curve, static_cast<float>(code) / 255.0f);
    }
    matrixShaper = std::move(model);
}

void ProfileLabTransforms::toLab(const cv::Mat &values, cv::Mat &lab) const {
    CV_Assert(values.type() == CV_MAKETYPE(CV_32F, channelCount));
    lab.create(values.size(), CV_32FC3);
    forRowRanges(values.rows, [&](int first, int last) {
        for (int y = first; y < last; ++y)
            cmsDoTransform(toLabTransform.get(), values.ptr(y), lab.ptr(y),
                           static_cast<cmsUInt32Number>(values.cols));
    });
}

bool ProfileLabTransforms::fromLab(const cv::Mat &lab, cv::Mat &values) const {
    CV_Assert(lab.type() == CV_32FC3);
    if (!fromLabTransform)
        return false;
    values.create(lab.size(), CV_MAKETYPE(CV_32F, channelCount));
    const MatrixShaperInverse *inverse = matrixShaperInverse();
    forRowRanges(lab.rows, [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            if (inverse)
                inverse->convert(lab.ptr<cv::Vec3f>(y), values.ptr<cv::Vec3f>(y), lab.cols,
                                 fromLabTransform.get());
            else
                cmsDoTransform(fromLabTransform.get(), lab.ptr(y), values.ptr(y),
                               static_cast<cmsUInt32Number>(lab.cols));
        }
    });
    return true;
}

const MatrixShaperInverse *ProfileLabTransforms::matrixShaperInverse() const {
    if (!matrixShaper)
        return nullptr;
    MatrixShaper &model = *matrixShaper;
    std::call_once(model.inverseBuilt, [&model] {
        model.inverse = MatrixShaperInverse::make(model.curves, model.colorants);
    });
    return model.inverse.get();
}

const std::vector<cv::Vec3f> &ProfileLabTransforms::greyTable(int depth) const {
    const bool eightBit = depth == CV_8U;
    std::vector<cv::Vec3f> &table = eightBit ? grey8 : grey16;
    std::call_once(eightBit ? grey8Built : grey16Built, [&] {
        const int codes = eightBit ? 256 : 65536;
        cv::Mat values(1, codes, CV_MAKETYPE(CV_32F, channelCount));
        for (int code = 0; code < codes; ++code) {
            float *value = values.ptr<float>() + code * channelCount;
            for (int c = 0; c < channelCount; ++c)
                value[c] = static_cast<float>(code) / static_cast<float>(codes - 1);
        }
        cv::Mat lab;
        toLab(values, lab);
        table.assign(lab.begin<cv::Vec3f>(), lab.end<cv::Vec3f>());
    });
    return table;
}

bool ProfileLabTransforms::integerToLab(const cv::Mat &values, cv::Mat &lab) const {
    const int depth = values.depth();
    if (depth != CV_8U && depth != CV_16U)
        return false;
    const int channels = values.channels();
    if (channels == 1) {
        lab.create(values.size(), CV_32FC3);
        if (depth == CV_8U)
            lookUp<uchar>(values, greyTable(depth), lab);
        else
            lookUp<ushort>(values, greyTable(depth), lab);
        return true;
    }
    if (!matrixShaper || (channels != 3 && channels != 4))
        return false;
    matrixShaperToLab(values, lab);
    return true;
}

namespace {

template <typename Code>
void curvesAndMatrix(const cv::Mat &values, const std::vector<float> (&linear)[3],
                     const double (&colorants)[3][3], cv::Mat &lab) {
    const int channels = values.channels();
    const cmsCIEXYZ *white = cmsD50_XYZ();
    forRowRanges(values.rows, [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            const Code *pixel = values.ptr<Code>(y);
            cv::Vec3f *out = lab.ptr<cv::Vec3f>(y);
            for (int x = 0; x < values.cols; ++x, pixel += channels) {
                const double red = linear[0][pixel[2]];
                const double green = linear[1][pixel[1]];
                const double blue = linear[2][pixel[0]];
                const cmsCIEXYZ xyz{
                    colorants[0][0] * red + colorants[0][1] * green + colorants[0][2] * blue,
                    colorants[1][0] * red + colorants[1][1] * green + colorants[1][2] * blue,
                    colorants[2][0] * red + colorants[2][1] * green + colorants[2][2] * blue};
                cmsCIELab value;
                cmsXYZ2Lab(white, &value, &xyz);
                out[x] = cv::Vec3f(static_cast<float>(value.L), static_cast<float>(value.a),
                                   static_cast<float>(value.b));
            }
        }
    });
}

} // namespace

void ProfileLabTransforms::matrixShaperToLab(const cv::Mat &values, cv::Mat &lab) const {
    lab.create(values.size(), CV_32FC3);
    MatrixShaper &model = *matrixShaper;
    if (values.depth() == CV_8U) {
        curvesAndMatrix<uchar>(values, model.linear8, model.colorants, lab);
        return;
    }
    std::call_once(model.linear16Built, [&model] {
        for (int c = 0; c < 3; ++c) {
            model.linear16[c].resize(65536);
            for (int code = 0; code < 65536; ++code)
                model.linear16[c][static_cast<std::size_t>(code)] =
                    cmsEvalToneCurveFloat(model.curves[c], static_cast<float>(code) / 65535.0f);
        }
    });
    curvesAndMatrix<ushort>(values, model.linear16, model.colorants, lab);
}
