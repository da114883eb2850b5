// SPDX-License-Identifier: GPL-3.0-or-later
#include "demoreference.h"

#include "chartcolours.h"
#include "chartexport.h"
#include "demophoto.h"
#include "labmeasurement.h"

#include <opencv2/core.hpp>

#include <filesystem>

ChartReference demoChartReference() {
    cv::Mat patches(1, int(chartColours.size()), CV_8UC3);
    for (size_t i = 0; i < chartColours.size(); ++i) {
        const ChartColour &colour = chartColours[i];
        patches.at<cv::Vec3b>(0, int(i)) = cv::Vec3b(colour.blue, colour.green, colour.red);
    }
    const cv::Mat lab = floatLab(patches, LabEncoding::Linear);
    ChartReference reference;
    for (int i = 0; i < lab.cols; ++i)
        reference.push_back(cv::Vec3d(lab.at<cv::Vec3f>(0, i)));
    return reference;
}

std::string demoReferencePath(const std::string &photoPath) {
    const std::filesystem::path photo(photoPath);
    return (photo.parent_path() / (photo.stem().string() + "_reference.txt")).string();
}

bool writeDemoReference(const std::string &path, std::string &error) {
    QString cause;
    const QString comment = QStringLiteral(
        "Reference of the demo chart, 4 rows of 6 patches, row by row from the top left. L*a*b* "
        "of the 8-bit values drawn, taken as linear light (the viewer's default \"Pictures "
        "are\" choice), through OpenCV's float conversion.");
    if (writeCgatsReference(QString::fromStdString(path), demoChartReference(), comment,
                            labEncodingKey(LabEncoding::Linear), cause))
        return true;
    error = cause.toStdString();
    return false;
}

bool writeDemoPhotoWithReference(const std::string &photoPath, std::string &error) {
    return writeDemoPhoto(photoPath, error) &&
           writeDemoReference(demoReferencePath(photoPath), error);
}
