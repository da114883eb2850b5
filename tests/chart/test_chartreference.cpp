// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartreference.h"

#include "qstringprinting.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

class ChartReferenceFiles : public testing::Test {
protected:
    QString write(const QString &name, const QByteArray &bytes) {
        const QString path = folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    QTemporaryDir folder;
    QString error;
};

void expectLab(const cv::Vec3d &actual, const cv::Vec3d &expected) {
    for (int c = 0; c < 3; ++c)
        EXPECT_DOUBLE_EQ(actual[c], expected[c]);
}

const QByteArray goodCgats = "CGATS.17\n"
                             "ORIGINATOR \"a chart maker\"\n"
                             "# measured under D50\n"
                             "NUMBER_OF_FIELDS 5\n"
                             "BEGIN_DATA_FORMAT\n"
                             "SAMPLE_ID XYZ_X LAB_L LAB_A LAB_B\n"
                             "END_DATA_FORMAT\n"
                             "NUMBER_OF_SETS 3\n"
                             "BEGIN_DATA\n"
                             "A1 12.1 37.986 13.555 14.059\n"
                             "A2 35.0 65.711 18.13 17.81\n"
                             "A3 19.2 49.927 -4.88 -21.925\n"
                             "END_DATA\n";

// Chart makers' files as Debian ships them.
QString chartMakerFile(const char *name) {
    return QStringLiteral("/usr/share/color/argyll/ref/") + QLatin1String(name);
}

} // namespace

TEST_F(ChartReferenceFiles, ReadsCgatsLabFieldsInFileOrder) {
    const QString path = write(QStringLiteral("chart.txt"), goodCgats);
    const auto reference = loadReference(path, error);
    ASSERT_TRUE(reference) << error.toStdString();
    ASSERT_EQ(reference->size(), 3u);
    expectLab((*reference)[0], {37.986, 13.555, 14.059});
    expectLab((*reference)[2], {49.927, -4.88, -21.925});
    EXPECT_TRUE(referenceCountProblem(*reference, 3, path).isEmpty());
    EXPECT_EQ(referenceCountProblem(*reference, 24, path),
              QStringLiteral("chart.txt holds 3 patches, but the grid has 24."));
}

TEST_F(ChartReferenceFiles, RefusesBadCgatsNamingFileAndFieldOrLine) {
    QByteArray withoutB = goodCgats;
    withoutB.replace("LAB_B", "LAB_C");
    EXPECT_FALSE(loadReference(write(QStringLiteral("nob.txt"), withoutB), error));
    EXPECT_EQ(error, QStringLiteral("nob.txt has no field LAB_B: a reference needs LAB_L, LAB_A "
                                    "and LAB_B, or XYZ_X, XYZ_Y and XYZ_Z."));

    QByteArray notNumber = goodCgats;
    notNumber.replace("-4.88", "\"n/a\"");
    EXPECT_FALSE(loadReference(write(QStringLiteral("word.txt"), notNumber), error));
    EXPECT_EQ(error, QStringLiteral("word.txt, patch 3: field LAB_A holds \"n/a\", not a number."));

    QByteArray extraValue = goodCgats;
    extraValue.replace("A2 35.0 65.711 18.13 17.81", "A2 35.0 65.711 18.13 17.81 0.5");
    EXPECT_FALSE(loadReference(write(QStringLiteral("extra.txt"), extraValue), error));
    EXPECT_EQ(error, QStringLiteral("extra.txt is not a valid CGATS file: Line 14, Count "
                                    "mismatch. NUMBER_OF_SETS was 3, found 4"));

    EXPECT_FALSE(loadReference(write(QStringLiteral("prose.txt"), "Dear user,\nhello.\n"), error));
    EXPECT_EQ(error, QStringLiteral("prose.txt has no field LAB_L: a reference needs LAB_L, LAB_A "
                                    "and LAB_B, or XYZ_X, XYZ_Y and XYZ_Z."));

    EXPECT_FALSE(loadReference(
        write(QStringLiteral("photo.txt"), QByteArray("\x89PNG\r\n\x1a\n\0\0", 10)), error));
    EXPECT_EQ(error, QStringLiteral("photo.txt is a binary file, not a text file."));

    EXPECT_FALSE(loadReference(folder.filePath(QStringLiteral("missing.txt")), error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Cannot read missing.txt: ")))
        << error.toStdString();
}

TEST_F(ChartReferenceFiles, SkipsAUtf8ByteOrderMark) {
    const QByteArray mark = "\xEF\xBB\xBF";
    const struct {
        const char *name;
        QByteArray text;
        cv::Vec3d first;
    } cases[] = {
        {"marked.txt", mark + goodCgats, {37.986, 13.555, 14.059}},
        {"marked.csv", mark + "L,a,b\n50,-3,4\n", {50, -3, 4}},
    };
    for (const auto &file : cases) {
        SCOPED_TRACE(file.name);
        const auto reference =
            loadReference(write(QString::fromLatin1(file.name), file.text), error);
        ASSERT_TRUE(reference) << error.toStdString();
        expectLab(reference->front(), file.first);
    }
}

TEST_F(ChartReferenceFiles, ConvertsXyzOnlyReferencesToD50Lab) {
    // A file with both sets: its own L*a*b* must come back from its XYZ alone.
    QFile both(chartMakerFile("QPcard_202.cie"));
    ASSERT_TRUE(both.open(QIODevice::ReadOnly)) << both.fileName().toStdString();
    QByteArray xyzOnly = both.readAll();
    xyzOnly.replace("XYZ_Z LAB_L LAB_A LAB_B", "XYZ_Z L_CHANNEL A_CHANNEL B_CHANNEL");
    ReferenceSource source = ReferenceSource::Lab;
    const auto asLab = loadReference(both.fileName(), error, &source);
    ASSERT_TRUE(asLab) << error.toStdString();
    EXPECT_EQ(source, ReferenceSource::Lab);
    const auto converted = loadReference(write(QStringLiteral("xyz.cie"), xyzOnly), error, &source);
    ASSERT_TRUE(converted) << error.toStdString();
    EXPECT_EQ(source, ReferenceSource::XyzConvertedToLab);
    ASSERT_EQ(converted->size(), asLab->size());
    for (size_t i = 0; i < asLab->size(); ++i) {
        SCOPED_TRACE(i);
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR((*converted)[i][c], (*asLab)[i][c], 0.01);
    }

    const auto spyder = loadReference(chartMakerFile("SpyderChecker24.cie"), error, &source);
    ASSERT_TRUE(spyder) << error.toStdString();
    EXPECT_EQ(spyder->size(), 24u);
    EXPECT_EQ(source, ReferenceSource::XyzConvertedToLab);
}

TEST_F(ChartReferenceFiles, ReadsCsvWithLabColumnsAnywhere) {
    const QString comma = write(QStringLiteral("comma.csv"), "patch,\"L\",a,b,note\r\n"
                                                             "1,37.986,13.555,14.059,skin\r\n"
                                                             "\r\n"
                                                             "2,65.711,18.13,17.81,\r\n");
    const auto fromComma = loadReference(comma, error);
    ASSERT_TRUE(fromComma) << error.toStdString();
    ASSERT_EQ(fromComma->size(), 2u);
    expectLab((*fromComma)[1], {65.711, 18.13, 17.81});

    const QString semicolon =
        write(QStringLiteral("semicolon.CSV"), "B;A;l\n-21.925;-4.88;49.927\n");
    const auto fromSemicolon = loadReference(semicolon, error);
    ASSERT_TRUE(fromSemicolon) << error.toStdString();
    ASSERT_EQ(fromSemicolon->size(), 1u);
    expectLab((*fromSemicolon)[0], {49.927, -4.88, -21.925});
}

TEST_F(ChartReferenceFiles, RefusesBadCsvNamingFileAndLine) {
    EXPECT_FALSE(loadReference(write(QStringLiteral("noa.csv"), "L,b\n1,2\n"), error));
    EXPECT_EQ(error, QStringLiteral("noa.csv, line 1: the header has no column \"a\"; a reference "
                                    "needs columns L, a and b."));

    EXPECT_FALSE(loadReference(write(QStringLiteral("short.csv"), "L,a,b\n1,2,3\n4,5\n"), error));
    EXPECT_EQ(error, QStringLiteral("short.csv, line 3: no value in column \"b\"."));

    EXPECT_FALSE(loadReference(write(QStringLiteral("empty-cell.csv"), "L,a,b\n1,,3\n"), error));
    EXPECT_EQ(error, QStringLiteral("empty-cell.csv, line 2: no value in column \"a\"."));

    EXPECT_FALSE(
        loadReference(write(QStringLiteral("word.csv"), "L,a,b\n1,2,3\n\n50,x1,2\n"), error));
    EXPECT_EQ(error, QStringLiteral("word.csv, line 4: \"x1\" in column \"a\" is not a number."));

    EXPECT_FALSE(loadReference(write(QStringLiteral("header-only.csv"), "L,a,b\n"), error));
    EXPECT_EQ(error, QStringLiteral("header-only.csv holds no patch."));

    EXPECT_FALSE(loadReference(write(QStringLiteral("blank.csv"), "\n  \n"), error));
    EXPECT_EQ(error, QStringLiteral("blank.csv is empty."));

    EXPECT_FALSE(
        loadReference(write(QStringLiteral("binary.csv"), QByteArray("L,a,b\n\0\1", 8)), error));
    EXPECT_EQ(error, QStringLiteral("binary.csv is a binary file, not a text file."));
}
