// SPDX-License-Identifier: GPL-3.0-or-later
// Repeated series must not grow the resident memory: each series' writer, buffers and files are
// let go or reused by the next.
#include "demophoto.h"
#include "qcolorimeterdlg.h"
#include "qcvimage.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <opencv2/imgproc.hpp>

#include <fstream>
#include <string>

namespace {

// VmRSS of this process, in kilobytes.
long residentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// A folder in memory when the system has one: every file a series writes is synced, and this
// test is about memory, not about the disk.
QString scratchTemplate() {
    const QDir shm(QStringLiteral("/dev/shm"));
    return shm.exists() ? shm.filePath(QStringLiteral("vexmira-XXXXXX"))
                        : QDir::temp().filePath(QStringLiteral("vexmira-XXXXXX"));
}

} // namespace

class TestSeriesMemory : public QObject {
    Q_OBJECT

private slots:
    void residentMemoryStaysFlatOverThreeDeltaSeries();
};

void TestSeriesMemory::residentMemoryStaysFlatOverThreeDeltaSeries() {
    // The drive root, where the series' files go.
    QTemporaryDir root(scratchTemplate());
    QVERIFY(root.isValid());
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(root.path()));
    // The demo photograph, made small so that a series of 4913 files stays quick.
    cv::Mat photo;
    cv::resize(renderDemoPhoto().image, photo, cv::Size(160, 120), 0, 0, cv::INTER_AREA);
    QCVImage canvas;
    QVERIFY(canvas.showNewImage(photo));
    QColorimeterDlg panel;
    panel.SetCVImage(&canvas);
    panel.setMessageBoxesShown(false);
    panel.setLabValues(60, 10, -10);

    long afterFirst = 0;
    for (int series = 0; series < 3; ++series) {
        QVERIFY(QMetaObject::invokeMethod(&panel, "CreateDeltaImgs"));
        const QColorimeterDlg::SeriesReport &report = panel.lastSeriesReport();
        QCOMPARE(report.written, deltaSeriesSize);
        QCOMPARE(report.failed, 0);
        const long resident = residentKb();
        QVERIFY(resident > 0);
        qInfo("after series %d: %ld kB resident", series + 1, resident);
        if (series == 0)
            afterFirst = resident;
        else
            QVERIFY2(
                resident <= afterFirst * 11 / 10,
                qPrintable(
                    QString("%1 kB after the first, %2 kB now").arg(afterFirst).arg(resident)));
    }
}

QTEST_MAIN(TestSeriesMemory)
#include "test_seriesmemory.moc"
