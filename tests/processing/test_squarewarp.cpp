// SPDX-License-Identifier: GPL-3.0-or-later
#include "cvtransform.h"
#include "squarewarp.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <array>

namespace {

using PointF = cv::Point_<float>;

// A picture with structure everywhere, so that any misplaced pixel shows.
cv::Mat testPicture(cv::Size size, int type) {
    cv::Mat picture(size, type);
    cv::RNG rng(12345);
    rng.fill(picture, cv::RNG::UNIFORM, 0, 256);
    return picture;
}

bool identical(const cv::Mat &a, const cv::Mat &b) {
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0.0;
}

std::array<PointF, 4> toFloat(const Quad &quad) {
    return {PointF(quad[0]), PointF(quad[1]), PointF(quad[2]), PointF(quad[3])};
}

} // namespace

TEST(WarpTarget, CentredEvenSquare) {
    struct Case {
        cv::Size size;
        Quad expected;
    };
    const Case cases[] = {
        {{640, 480}, {{{80, 0}, {80, 480}, {560, 480}, {560, 0}}}},
        {{641, 481}, {{{80, 0}, {80, 480}, {560, 480}, {560, 0}}}},
        {{500, 500}, {{{0, 0}, {0, 500}, {500, 500}, {500, 0}}}},
        {{300, 701}, {{{0, 200}, {0, 500}, {300, 500}, {300, 200}}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.size.width << " x " << c.size.height);
        EXPECT_EQ(warpTargetCorners(c.size), c.expected);
    }
}

TEST(CVTransform, ComputeChoosesTheTransformByCount) {
    const PointF source[4] = {{10, 20}, {12, 90}, {95, 80}, {88, 15}};
    const PointF destination[4] = {{0, 0}, {0, 100}, {100, 100}, {100, 0}};

    CVTransform transform;
    EXPECT_TRUE(transform.matrix.empty());

    transform.compute(source, destination, 3);
    ASSERT_EQ(transform.matrix.size(), cv::Size(3, 2));
    EXPECT_EQ(transform.matrix.type(), CV_64FC1);
    EXPECT_TRUE(identical(transform.matrix, cv::getAffineTransform(source, destination)));

    transform.compute(source, destination, 4);
    ASSERT_EQ(transform.matrix.size(), cv::Size(3, 3));
    EXPECT_EQ(transform.matrix.type(), CV_64FC1);
    EXPECT_TRUE(identical(transform.matrix, cv::getPerspectiveTransform(source, destination)));

    const cv::Mat before = transform.matrix.clone();
    for (int count : {0, 1, 2, 5, -4}) {
        SCOPED_TRACE(count);
        transform.compute(source, destination, count);
        EXPECT_TRUE(identical(transform.matrix, before));
    }
}

TEST(CVTransform, ApplyWarpsIntoTheGivenBuffer) {
    const cv::Mat src = testPicture({64, 48}, CV_8UC3);
    const PointF source[4] = {{5, 4}, {7, 40}, {60, 44}, {55, 2}};
    const PointF destination[4] = {{0, 0}, {0, 48}, {64, 48}, {64, 0}};

    CVTransform affine;
    affine.compute(source, destination, 3);
    cv::Mat dst(src.size(), src.type());
    const cv::Mat sharer = dst; // another header of the same buffer, as a store slot would be
    affine.apply(src, dst);
    cv::Mat expected;
    cv::warpAffine(src, expected, affine.matrix, src.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                   cv::Scalar::all(0));
    EXPECT_EQ(dst.data, sharer.data);
    EXPECT_TRUE(identical(sharer, expected));

    CVTransform perspective;
    perspective.compute(source, destination, 4);
    cv::Mat smaller(30, 40, CV_8UC3);
    perspective.apply(src, smaller);
    cv::warpPerspective(src, expected, perspective.matrix, cv::Size(40, 30), cv::INTER_LINEAR,
                        cv::BORDER_CONSTANT, cv::Scalar::all(0));
    EXPECT_EQ(smaller.size(), cv::Size(40, 30));
    EXPECT_TRUE(identical(smaller, expected));

    // A destination the library would have to reallocate is refused, not silently replaced.
    cv::Mat wrongType(src.size(), CV_8UC1, cv::Scalar(7));
    EXPECT_THROW(perspective.apply(src, wrongType), cv::Exception);
    cv::Mat unallocated;
    EXPECT_THROW(perspective.apply(src, unallocated), cv::Exception);
    CVTransform uncomputed;
    EXPECT_THROW(uncomputed.apply(src, dst), cv::Exception);
}

TEST(PerspectiveQuad, DegenerateQuadrilateralsAreRefused) {
    const Quad square = {{{0, 0}, {0, 10}, {10, 10}, {10, 0}}};
    const Quad degenerate[] = {
        {{{0, 0}, {0, 0}, {10, 10}, {10, 0}}},   // two corners on one point
        {{{5, 5}, {5, 5}, {5, 5}, {5, 5}}},      // all on one point
        {{{0, 0}, {0, 10}, {0, 20}, {10, 0}}},   // three on a vertical line
        {{{0, 0}, {5, 5}, {10, 10}, {10, 0}}},   // three on a diagonal
        {{{0, 0}, {0, 10}, {10, 10}, {20, 10}}}, // the last three on a line
        {{{0, 0}, {3, 1}, {6, 2}, {9, 3}}},      // all four on a line
    };
    CVTransform transform;
    for (const Quad &quad : degenerate) {
        SCOPED_TRACE(testing::Message() << quad[0] << quad[1] << quad[2] << quad[3]);
        EXPECT_FALSE(isPerspectiveQuad(quad));
        EXPECT_FALSE(computePerspective(quad, square, transform));
        EXPECT_FALSE(computePerspective(square, quad, transform));
    }
    EXPECT_TRUE(transform.matrix.empty());

    // Crossed and concave shapes still define a transform.
    EXPECT_TRUE(isPerspectiveQuad({{{0, 0}, {10, 10}, {0, 10}, {10, 0}}}));
    EXPECT_TRUE(isPerspectiveQuad({{{0, 0}, {0, 10}, {3, 3}, {10, 0}}}));

    // The target of a picture too small for a square is a single point.
    EXPECT_FALSE(isPerspectiveQuad(warpTargetCorners({1, 1})));
    EXPECT_FALSE(isPerspectiveQuad(warpTargetCorners({1, 500})));
    EXPECT_TRUE(isPerspectiveQuad(warpTargetCorners({2, 2})));
}

TEST(PerspectiveQuad, RefusedWarpLeavesTheDestination) {
    const cv::Mat src = testPicture({40, 30}, CV_8UC3);
    cv::Mat dst(src.size(), src.type(), cv::Scalar::all(7));
    const Quad collinear = {{{0, 0}, {10, 10}, {20, 20}, {30, 0}}};
    EXPECT_FALSE(warpQuadOnto(src, collinear, warpTargetCorners(src.size()), dst));
    EXPECT_TRUE(identical(dst, cv::Mat(src.size(), src.type(), cv::Scalar::all(7))));
}

TEST(PerspectiveWarp, LoadedRectangleIsStretchedOntoTheSquare) {
    const cv::Mat src = testPicture({640, 480}, CV_8UC3);
    const Quad loaded = {{{160, 120}, {160, 360}, {480, 360}, {480, 120}}};
    const Quad target = warpTargetCorners(src.size());

    CVTransform transform;
    ASSERT_TRUE(computePerspective(loaded, target, transform));
    // 1.5 across, 2 down, corner 0 onto (80, 0).
    const cv::Matx33d expectedMatrix(1.5, 0, -160, 0, 2, -240, 0, 0, 1);
    EXPECT_LT(cv::norm(cv::Matx33d(transform.matrix) - expectedMatrix, cv::NORM_INF), 1e-9);

    cv::Mat dst(src.size(), src.type());
    ASSERT_TRUE(warpQuadOnto(src, loaded, target, dst));
    const std::array<PointF, 4> from = toFloat(loaded);
    const std::array<PointF, 4> to = toFloat(target);
    cv::Mat expected;
    cv::warpPerspective(src, expected, cv::getPerspectiveTransform(from.data(), to.data()),
                        src.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar::all(0));
    EXPECT_TRUE(identical(dst, expected));
    // Pixel (200, 180) of the source sits at (80 + 40 x 1.5, 0 + 60 x 2) in the square.
    EXPECT_EQ(dst.at<cv::Vec3b>(120, 140), src.at<cv::Vec3b>(180, 200));
}

TEST(PerspectiveWarp, OutsideThePictureIsBlack) {
    const cv::Mat src(480, 640, CV_8UC3, cv::Scalar(10, 200, 90));
    const Quad wholeFrame = {{{0, 0}, {0, 480}, {640, 480}, {640, 0}}};
    cv::Mat dst(src.size(), src.type());
    ASSERT_TRUE(warpQuadOnto(src, wholeFrame, warpTargetCorners(src.size()), dst));
    // The frame lands on the square from x 80 to 560; left and right of it there is no picture.
    EXPECT_EQ(cv::countNonZero(dst.colRange(0, 79).reshape(1)), 0);
    EXPECT_EQ(cv::countNonZero(dst.colRange(561, 640).reshape(1)), 0);
    EXPECT_EQ(dst.at<cv::Vec3b>(240, 320), cv::Vec3b(10, 200, 90));
}

TEST(PerspectiveWarp, SquareOntoItselfReproducesThePicture) {
    for (int type : {CV_8UC3, CV_8UC1, CV_16UC3, CV_32FC1}) {
        SCOPED_TRACE(type);
        const cv::Mat src = testPicture({61, 47}, type);
        const Quad square = warpTargetCorners(src.size());
        cv::Mat dst(src.size(), src.type());
        ASSERT_TRUE(warpQuadOnto(src, square, square, dst));
        EXPECT_TRUE(identical(dst, src));
    }
}
