// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartpanel.h"

#include "chartdock.h"
#include "colourdifference.h"
#include "gridoverlay.h"
#include "patchmeasurement.h"
#include "qcvimage.h"
#include "qimagescrollarea.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QPainter>
#include <QSignalSpy>
#include <QTabBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace {

constexpr int rows = 4;
constexpr int columns = 6;
constexpr int pitch = 60;
constexpr int patchSide = 48;

// The known colours: lightness rises by row, hue turns by column; all inside the gamut of both
// encodings.
std::vector<cv::Vec3d> knownLab() {
    const double a[columns] = {-20, 15, 25, 0, -12, 18};
    const double b[columns] = {10, -25, 18, 0, -20, 30};
    std::vector<cv::Vec3d> lab;
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column)
            lab.emplace_back(35 + 15 * row, a[column], b[column]);
    return lab;
}

// A chart of the known colours on a dark board, seen in perspective, 16-bit, without noise;
// `corners` receives the outline of its patch grid in the photograph.
cv::Mat chartPhoto(LabEncoding encoding, Quad &corners) {
    const std::vector<cv::Vec3d> lab = knownLab();
    const cv::Size flatSize(columns * pitch, rows * pitch);
    cv::Mat flat(flatSize, CV_32FC3, cv::Scalar(0.02, 0.02, 0.02));
    const int gap = (pitch - patchSide) / 2;
    for (int patch = 0; patch < rows * columns; ++patch) {
        const cv::Vec3d &value = lab[size_t(patch)];
        const cv::Mat labPixel(1, 1, CV_32FC3, cv::Scalar(value[0], value[1], value[2]));
        cv::Mat bgr;
        cv::cvtColor(labPixel, bgr, labToBgrConversion(encoding));
        const cv::Vec3f colour = bgr.at<cv::Vec3f>(0, 0);
        for (int c = 0; c < 3; ++c) {
            if (colour[c] < 0 || colour[c] > 1)
                qFatal("known colour %d out of gamut", patch);
        }
        const cv::Rect rect((patch % columns) * pitch + gap, (patch / columns) * pitch + gap,
                            patchSide, patchSide);
        flat(rect).setTo(cv::Scalar(colour[0], colour[1], colour[2]));
    }
    const cv::Point2f flatCorners[4] = {{0, 0},
                                        {0, float(flatSize.height)},
                                        {float(flatSize.width), float(flatSize.height)},
                                        {float(flatSize.width), 0}};
    const cv::Point2f seen[4] = {{140, 70}, {90, 420}, {600, 450}, {540, 110}};
    const cv::Mat transform = cv::getPerspectiveTransform(flatCorners, seen);
    cv::Mat photo;
    cv::warpPerspective(flat, photo, transform, cv::Size(640, 480), cv::INTER_LINEAR,
                        cv::BORDER_CONSTANT, cv::Scalar::all(0.1));
    cv::Mat photo16;
    photo.convertTo(photo16, CV_16UC3, 65535.0);
    for (size_t i = 0; i < 4; ++i)
        corners[i] = cv::Point(cvRound(seen[i].x), cvRound(seen[i].y));
    return photo16;
}

void setCorners(QCVImage &canvas, const Quad &corners) {
    std::copy(corners.begin(), corners.end(), canvas.corners);
    emit canvas.cornersChanged();
}

QString writeFile(const QTemporaryDir &folder, const QString &name, const QByteArray &bytes) {
    const QString path = folder.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the test file");
    return path;
}

QString knownLabCsv(const QTemporaryDir &folder) {
    QByteArray text = "L,a,b\n";
    for (const cv::Vec3d &lab : knownLab())
        text += QByteArray::number(lab[0]) + ',' + QByteArray::number(lab[1]) + ',' +
                QByteArray::number(lab[2]) + '\n';
    return writeFile(folder, QStringLiteral("known.csv"), text);
}

QString cell(const ChartTableModel &model, int row, ChartTableModel::Column column) {
    return model.data(model.index(row, model.section(column))).toString();
}

QString cell(const ChartPanel &panel, int row, ChartTableModel::Column column) {
    return cell(panel.tableModel(), row, column);
}

} // namespace

class ChartPanelTest : public QObject {
    Q_OBJECT

private slots:
    void init() { LabEncodingChoice::instance().set(LabEncoding::Linear); }
    void cleanup() { LabEncodingChoice::instance().set(LabEncoding::Linear); }

    // Every patch of a chart in perspective within 1.0 ΔE2000 of its known colour, before and
    // after the warp, in both encodings.
    void readsAKnownChartBeforeAndAfterTheWarp() {
        const QTemporaryDir folder;
        const QString reference = knownLabCsv(folder);
        for (const LabEncoding encoding : {LabEncoding::Linear, LabEncoding::Srgb}) {
            LabEncodingChoice::instance().set(encoding);
            QCVImage canvas;
            ChartPanel panel(&canvas);
            panel.show();
            Quad corners;
            QVERIFY(canvas.showNewImage(chartPhoto(encoding, corners)));
            setCorners(canvas, corners);
            QVERIFY2(panel.loadReference(reference), qPrintable(panel.message()));

            for (const bool warped : {false, true}) {
                if (warped)
                    canvas.warpCurrentImage();
                panel.refresh();
                const auto &patches = panel.tableModel().patches();
                QCOMPARE(int(patches.size()), rows * columns);
                const std::vector<cv::Vec3d> known = knownLab();
                for (size_t i = 0; i < patches.size(); ++i) {
                    QVERIFY(patches[i].measured);
                    // Independent of the table's own figures.
                    const double difference = deltaE2000(patches[i].measured->mean, known[i]);
                    QVERIFY2(difference < 1.0,
                             qPrintable(QStringLiteral("encoding %1, warped %2, patch %3: %4")
                                            .arg(labEncodingKey(encoding))
                                            .arg(warped)
                                            .arg(i + 1)
                                            .arg(difference)));
                    QVERIFY(patches[i].deltaE2000);
                    QVERIFY(std::abs(*patches[i].deltaE2000 - difference) < 1e-9);
                }
                QVERIFY(panel.summary().startsWith(QStringLiteral("ΔE2000: mean ")));
            }
        }
    }

    void keepsTheTableOnBadReferencesAndSaysWhy() {
        const QTemporaryDir folder;
        QCVImage canvas;
        ChartPanel panel(&canvas);
        panel.show();
        Quad corners;
        QVERIFY(canvas.showNewImage(chartPhoto(LabEncoding::Linear, corners)));
        setCorners(canvas, corners);
        QVERIFY(panel.loadReference(knownLabCsv(folder)));
        const QString before = cell(panel, 5, ChartTableModel::ReferenceAColumn);
        QCOMPARE(before, QStringLiteral("18.00"));

        QVERIFY(!panel.loadReference(
            writeFile(folder, QStringLiteral("three.csv"), "L,a,b\n1,2,3\n4,5,6\n7,8,9\n")));
        QCOMPARE(panel.message(),
                 QStringLiteral("three.csv holds 3 patches, but the grid has 24."));
        QVERIFY(
            !panel.loadReference(writeFile(folder, QStringLiteral("bad.csv"), "L,a,b\n1,2,x\n")));
        QCOMPARE(panel.message(),
                 QStringLiteral("bad.csv, line 2: \"x\" in column \"b\" is not a number."));
        QVERIFY(panel.tableModel().hasReference());
        QCOMPARE(cell(panel, 5, ChartTableModel::ReferenceAColumn), before);

        // A grid of another size drops the reference, which no longer fits.
        panel.setGridLayout({4, 5, 25});
        QVERIFY(!panel.tableModel().hasReference());
        QCOMPARE(panel.tableModel().rowCount(), 20);
    }

    // The window's commands tell the dock of a shading correction, which it warns of while a
    // reference is loaded; an opened or new picture clears it.
    void warnsOfAShadingCorrectionMadeThroughTheWindowsCommands() {
        const QTemporaryDir folder;
        QImageScrollArea area(false);
        QCVImage &canvas = *area.imageCanvas();
        ChartPanel panel(&canvas);
        panel.show();
        const CanvasStepRunner runner = followPicture(panel, area, CanvasStepRunner());
        Quad corners;
        const Quad tiny = {cv::Point(10, 10), cv::Point(10, 40), cv::Point(40, 40),
                           cv::Point(40, 10)};
        const struct {
            const char *text;
            bool tinyCorners;
            bool warned;
        } steps[] = {{"Warp", false, false},
                     {"Shading Correction", true, false},
                     {"Shading Correction", false, true},
                     {"Warp and Shading Correction", false, true}};
        for (const auto &step : steps) {
            emit area.blankImageMade();
            QVERIFY(canvas.showNewImage(chartPhoto(LabEncoding::Linear, corners)));
            setCorners(canvas, step.tinyCorners ? tiny : corners);
            const QByteArray text(step.text);
            runner(QString::fromLatin1(text), cv::Rect(), [&] {
                if (text.contains("Warp"))
                    canvas.warpCurrentImage();
                if (text.contains("Shading"))
                    canvas.correctShading(100);
            });
            // Only against a reference.
            QVERIFY(panel.shadingWarning().isEmpty());
            QVERIFY(panel.loadReference(knownLabCsv(folder)));
            QCOMPARE(panel.shadingWarning(), step.warned ? QStringLiteral("The shading correction "
                                                                          "has evened out the "
                                                                          "patches; read the chart "
                                                                          "before W.")
                                                         : QString());
            panel.setGridLayout({4, 5, 25});
            QVERIFY(panel.shadingWarning().isEmpty());
            panel.setGridLayout({rows, columns, 25});
        }
        emit area.imageOpened(folder.filePath(QStringLiteral("next.png")));
        QVERIFY(panel.loadReference(knownLabCsv(folder)));
        QVERIFY(panel.shadingWarning().isEmpty());
    }

    // Long names and messages wrap or are cut, never widening the dock; the swatches and
    // numbers stay beside the columns, and ΔE2000 is in view at the dock's usual width.
    void staysReadableInANarrowDock() {
        const QTemporaryDir folder;
        QCVImage canvas;
        ChartPanel panel(&canvas);
        panel.resize(340, 600);
        panel.show();
        Quad corners;
        QVERIFY(canvas.showNewImage(chartPhoto(LabEncoding::Linear, corners)));
        setCorners(canvas, corners);
        const QSize bare = panel.minimumSizeHint();

        QByteArray xyz = "CGATS.17\nNUMBER_OF_FIELDS 3\nBEGIN_DATA_FORMAT\nXYZ_X XYZ_Y XYZ_Z\n"
                         "END_DATA_FORMAT\nNUMBER_OF_SETS 24\nBEGIN_DATA\n";
        for (int patch = 0; patch < rows * columns; ++patch)
            xyz += QByteArray::number(20 + patch) + " " + QByteArray::number(21 + patch) + " 18\n";
        xyz += "END_DATA\n";
        const QString longName = QStringLiteral("reference_of_the_chart_as_measured_by_its_maker_"
                                                "under_D50_light_at_two_degrees.cie");
        QVERIFY(panel.loadReference(writeFile(folder, longName, xyz)));
        QCOMPARE(panel.referenceText(),
                 QStringLiteral("Reference: %1 (XYZ only, converted to D50 L*a*b*)").arg(longName));
        panel.setShadingCorrected(true);
        QVERIFY(
            !panel.loadReference(writeFile(folder, longName + QStringLiteral(".csv"), "L,a\n")));
        QCOMPARE(panel.minimumSizeHint().width(), bare.width());
        // Room for the canvas beside it on a screen 1280 pixels wide (1920 at 150 %).
        QVERIFY(bare.width() <= 320 && panel.minimumSizeHint().height() <= 360);

        auto *table = panel.findChild<QTableView *>(QStringLiteral("patchTable"));
        QVERIFY(table);
        QCoreApplication::processEvents();
        const int deltaE2000 = panel.tableModel().section(ChartTableModel::DeltaE2000Column);
        QVERIFY(table->columnViewportPosition(deltaE2000) + table->columnWidth(deltaE2000) <=
                table->viewport()->width());
        QVERIFY(table->verticalHeader()->isVisible() && table->verticalHeader()->width() > 24);
    }

    // Hovering any control explains it, in a tooltip and in the window's status bar.
    void everyControlHasATooltipAndAStatusTip() {
        ChartPanel panel(nullptr);
        QList<QWidget *> controls;
        for (QWidget *widget : panel.findChildren<QWidget *>()) {
            // The tables' headers and corner buttons, and the tab bar's arrows, are their parts.
            bool part = false;
            for (QWidget *up = widget->parentWidget(); up != &panel; up = up->parentWidget())
                part = part || qobject_cast<QAbstractItemView *>(up) || qobject_cast<QTabBar *>(up);
            if (!part &&
                (qobject_cast<QAbstractButton *>(widget) ||
                 qobject_cast<QAbstractSpinBox *>(widget) || qobject_cast<QComboBox *>(widget) ||
                 qobject_cast<QAbstractItemView *>(widget)))
                controls << widget;
        }
        QCOMPARE(controls.size(), 12);
        for (QWidget *control : controls) {
            QVERIFY2(!control->toolTip().isEmpty(), control->metaObject()->className());
            QVERIFY2(!control->statusTip().isEmpty(), control->metaObject()->className());
        }
    }

    void showsNoMeasurementForACrossedQuadrilateral() {
        QCVImage canvas;
        ChartPanel panel(&canvas);
        panel.show();
        Quad corners;
        QVERIFY(canvas.showNewImage(chartPhoto(LabEncoding::Linear, corners)));
        std::swap(corners[1], corners[2]);
        setCorners(canvas, corners);
        panel.refresh();
        QCOMPARE(panel.tableModel().rowCount(), 0);
        QCOMPARE(panel.message(), QStringLiteral("The quadrilateral is crossed: corners 0 to 3 "
                                                 "must go round the chart in order."));
        std::swap(corners[1], corners[2]);
        setCorners(canvas, corners);
        panel.refresh();
        QCOMPARE(panel.tableModel().rowCount(), 24);
        QVERIFY(panel.message().isEmpty());
    }

    // A drag's many moves give one reading, taken at the final corners.
    void followsADragWithOneReadingAtTheFinalCorners() {
        QCVImage canvas;
        ChartPanel panel(&canvas);
        panel.show();
        Quad corners;
        QVERIFY(canvas.showNewImage(chartPhoto(LabEncoding::Linear, corners)));
        canvas.setScale(1.0);
        setCorners(canvas, corners);
        panel.refresh();
        QSignalSpy readings(&panel, &ChartPanel::measured);

        canvas.trackMouse(corners[2].x, corners[2].y, Qt::NoButton);
        QCOMPARE(canvas.hoverHandle, 2);
        canvas.trackMouse(corners[2].x, corners[2].y, Qt::LeftButton);
        for (int step = 1; step <= 30; ++step)
            canvas.trackMouse(corners[2].x - step, corners[2].y - step, Qt::LeftButton);
        QCOMPARE(readings.count(), 0);
        QVERIFY(readings.wait(5000));
        QCOMPARE(readings.count(), 1);

        const Quad final = quadFromPoints(canvas.corners);
        QVERIFY(final[2] == corners[2] - cv::Point(30, 30));
        const auto expected =
            measurePatches(canvas.image(true, -1, false),
                           patchGrid(final, panel.gridLayout()).areas, LabEncoding::Linear);
        const auto &patches = panel.tableModel().patches();
        QCOMPARE(patches.size(), expected.size());
        for (size_t i = 0; i < patches.size(); ++i)
            QVERIFY(patches[i].measured->mean == expected[i]->mean);
    }

    void tableShowsDashesForPatchesWithoutPixels() {
        ChartTableModel model;
        LabStats stats;
        stats.mean = cv::Vec3d(50, 10, -5);
        stats.stdDev = cv::Vec3d(0.5, 0.25, 0.125);
        stats.count = 42;
        model.setPatches(comparePatches({stats, std::nullopt}, {{50, 10, -5}, {60, 0, 0}}), true,
                         LabEncoding::Srgb);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.columnCount(), 12);
        QCOMPARE(model.section(ChartTableModel::DeltaE2000Column), 0);
        QCOMPARE(cell(model, 0, ChartTableModel::PixelsColumn), QStringLiteral("42"));
        QCOMPARE(cell(model, 0, ChartTableModel::SdBColumn), QStringLiteral("0.13"));
        QCOMPARE(cell(model, 0, ChartTableModel::DeltaE2000Column), QStringLiteral("0.00"));
        const QString dash = QStringLiteral("\u2013");
        for (const auto column : {ChartTableModel::LColumn, ChartTableModel::PixelsColumn,
                                  ChartTableModel::DeltaE76Column})
            QCOMPARE(cell(model, 1, column), dash);
        QCOMPARE(cell(model, 1, ChartTableModel::ReferenceLColumn), QStringLiteral("60.00"));
        QCOMPARE(model.headerData(1, Qt::Vertical).toInt(), 2);
        QVERIFY(model.headerData(1, Qt::Vertical, Qt::DecorationRole).isNull());
        // The swatch of Lab (50, 10, -5) in sRGB, from OpenCV.
        const cv::Mat lab(1, 1, CV_32FC3, cv::Scalar(50, 10, -5));
        cv::Mat bgr;
        cv::cvtColor(lab, bgr, cv::COLOR_Lab2BGR);
        const QImage swatchImage =
            model.headerData(0, Qt::Vertical, Qt::DecorationRole).value<QPixmap>().toImage();
        const QColor swatch = swatchImage.pixelColor(swatchImage.rect().center());
        QVERIFY(std::abs(swatch.redF() - bgr.at<cv::Vec3f>(0, 0)[2]) < 0.01);
        QVERIFY(std::abs(swatch.blueF() - bgr.at<cv::Vec3f>(0, 0)[0]) < 0.01);
    }

    void drawsTheSampleAreasOverTheCanvas() {
        QImage picture(200, 100, QImage::Format_RGB32);
        picture.fill(Qt::black);
        const Quad corners = {cv::Point(0, 0), cv::Point(0, 50), cv::Point(100, 50),
                              cv::Point(100, 0)};
        {
            QPainter painter(&picture);
            paintPatchGrid(painter, QPointF(2, 2), patchGrid(corners, {1, 2, 20}), -1);
        }
        // Patch 1's area runs from (10, 10) to (40, 40) in the image, doubled on the widget; its
        // antialiased sides share their light between the two pixel rows or columns they divide.
        QVERIFY(qBlue(picture.pixel(50, 19)) + qBlue(picture.pixel(50, 20)) > 200);
        QVERIFY(qBlue(picture.pixel(19, 50)) + qBlue(picture.pixel(20, 50)) > 200);
        QCOMPARE(picture.pixel(50, 50), qRgb(0, 0, 0));
        QCOMPARE(picture.pixel(10, 90), qRgb(0, 0, 0));
    }

    void exportsWhatTheTableShows() {
        const QTemporaryDir folder;
        QCVImage canvas;
        ChartPanel panel(&canvas);
        panel.show();
        Quad corners;
        QVERIFY(canvas.showNewImage(chartPhoto(LabEncoding::Linear, corners)));
        setCorners(canvas, corners);
        panel.refresh();
        const QString path = folder.filePath(QStringLiteral("reading.csv"));
        QVERIFY(panel.exportMeasurement(path));
        QCOMPARE(panel.message(), QStringLiteral("Saved reading.csv."));
        QString error;
        const auto reread = loadReference(path, error);
        QVERIFY(reread);
        QCOMPARE(int(reread->size()), 24);
        QVERIFY(std::abs((*reread)[7][1] - panel.tableModel().patches()[7].measured->mean[1]) <
                1e-4);
    }
};

QTEST_MAIN(ChartPanelTest)
#include "test_chartpanel.moc"
