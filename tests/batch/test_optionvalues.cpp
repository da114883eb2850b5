// SPDX-License-Identifier: GPL-3.0-or-later
#include "csvfields.h"
#include "optionvalues.h"

#include <gtest/gtest.h>

TEST(OptionValues, CornersAndLabValuesWithinTheirRanges) {
    QString error;
    const std::optional<Quad> corners = parseCorners(QStringLiteral("1, 2,3,4,5,6,-7,8"), &error);
    ASSERT_TRUE(corners);
    EXPECT_EQ((*corners)[0], cv::Point(1, 2));
    EXPECT_EQ((*corners)[3], cv::Point(-7, 8));
    EXPECT_FALSE(parseCorners(QStringLiteral("1,2,3,4,5,6,7,8,9"), &error));
    EXPECT_EQ(error, QStringLiteral("\"1,2,3,4,5,6,7,8,9\" has 9 values where 8 are needed."));
    EXPECT_FALSE(parseCorners(QStringLiteral("1,2,3,4,5,6,7,8.5"), &error));

    const std::optional<LabValue> lab = parseLabValue(QStringLiteral("100,-127,127"), &error);
    ASSERT_TRUE(lab);
    EXPECT_EQ(lab->l, 100);
    EXPECT_EQ(lab->a, -127);
    EXPECT_EQ(lab->b, 127);
    EXPECT_FALSE(parseLabValue(QStringLiteral("50,-128,0"), &error));
    EXPECT_EQ(error, QStringLiteral("a must lie between -127 and 127, not -128."));

    EXPECT_TRUE(parseGridSteps(QStringLiteral("10,24,24"), &error));
    EXPECT_FALSE(parseGridSteps(QStringLiteral("10,0,24"), &error));
    EXPECT_EQ(error, QStringLiteral("The a step must lie between 1 and 127, not 0."));
    EXPECT_FALSE(parseCellSize(QStringLiteral("-5"), &error));
    EXPECT_EQ(parseEncoding(QStringLiteral("srgb"), &error), LabEncoding::Srgb);
    EXPECT_FALSE(parseEncoding(QStringLiteral("SRGB "), &error));
}

TEST(OptionValues, ShardsRunFromOneToTheirCount) {
    QString error;
    const std::optional<Shard> shard = parseShard(QStringLiteral("3/8"), &error);
    ASSERT_TRUE(shard);
    EXPECT_EQ(shard->k, 3);
    EXPECT_EQ(shard->n, 8);
    EXPECT_TRUE(parseShard(QStringLiteral("8/8"), &error));
    for (const char *refused : {"0/8", "9/8", "1/0", "-1/2", "3", "3/", "a/b", "1/2/3"}) {
        SCOPED_TRACE(refused);
        EXPECT_FALSE(parseShard(QString::fromLatin1(refused), &error));
    }
}

TEST(OptionValues, CornersMustLieOnPixelsOfTheImage) {
    const cv::Size size(640, 480);
    EXPECT_TRUE(
        cornersRefusal({cv::Point(0, 0), cv::Point(0, 479), cv::Point(639, 479), cv::Point(639, 0)},
                       size)
            .isEmpty());
    EXPECT_EQ(
        cornersRefusal({cv::Point(0, 0), cv::Point(0, 480), cv::Point(639, 479), cv::Point(639, 0)},
                       size),
        QStringLiteral("Corner 1 (0, 480) lies outside the image of 640 x 480 pixels."));
    EXPECT_FALSE(
        cornersRefusal({cv::Point(-1, 0), cv::Point(0, 1), cv::Point(1, 1), cv::Point(1, 0)}, size)
            .isEmpty());
}

TEST(CsvFields, QuotedWhereNeededAndSplitBack) {
    const QStringList fields{QStringLiteral("plain"), QStringLiteral("a,b"),
                             QStringLiteral("say \"hi\""), QString()};
    QStringList line;
    for (const QString &field : fields)
        line << csvField(field);
    EXPECT_EQ(line.join(QLatin1Char(',')), QStringLiteral("plain,\"a,b\",\"say \"\"hi\"\"\","));
    EXPECT_EQ(splitCsvLine(line.join(QLatin1Char(','))), fields);
}
