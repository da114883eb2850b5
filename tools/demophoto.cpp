// SPDX-License-Identifier: GPL-3.0-or-later
#include "demophoto.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

namespace {

// The board is laid out in units of a 1000 x 1000 square, drawn at one pixel per unit.
constexpr int boardUnits = 1000;
constexpr int margin = 50;
constexpr int patchSize = 130;
constexpr int patchGap = 24;
constexpr int cardTop = margin + chartRows * patchSize + (chartRows - 1) * patchGap + 48;
const cv::Rect greyCardRect(margin, cardTop, boardUnits - 2 * margin,
                            boardUnits - margin - cardTop);
const cv::Scalar boardColour(33, 34, 36);
const cv::Scalar greyCardColour(124, 124, 124);
const cv::Scalar tableColour(128, 140, 153);

// Where the board's corners land in the photo: tilted and turned, near the middle of the frame
// but clearly off the inner quarter, so its corners have to be dragged onto it.
const Quad boardInPhoto = {cv::Point(472, 252), cv::Point(362, 904), cv::Point(1218, 982),
                           cv::Point(1186, 326)};

cv::Rect patchRect(int index) {
    const int row = index / chartColumns;
    const int column = index % chartColumns;
    return {margin + column * (patchSize + patchGap), margin + row * (patchSize + patchGap),
            patchSize, patchSize};
}

cv::Scalar patchColour(int index) {
    const ChartColour &colour = chartColours[static_cast<std::size_t>(index)];
    return {double(colour.blue), double(colour.green), double(colour.red)};
}

// The flat board as printed, 32-bit float BGR, with white registration marks in its corners.
cv::Mat paintBoard() {
    cv::Mat board(boardUnits, boardUnits, CV_32FC3, boardColour);
    for (int index = 0; index < chartColumns * chartRows; ++index) {
        board(patchRect(index)).setTo(patchColour(index));
    }
    board(greyCardRect).setTo(greyCardColour);

    const int inset = 16;
    const int arm = 44;
    const int thickness = 6;
    const cv::Scalar markColour(225, 225, 225);
    for (const int x : {inset, boardUnits - inset - arm}) {
        for (const int y : {inset, boardUnits - inset - thickness}) {
            board(cv::Rect(x, y, arm, thickness)).setTo(markColour);
        }
    }
    for (const int x : {inset, boardUnits - inset - thickness}) {
        for (const int y : {inset, boardUnits - inset - arm}) {
            board(cv::Rect(x, y, thickness, arm)).setTo(markColour);
        }
    }
    // Printed edges are not razor sharp; this also keeps the warp from aliasing them.
    cv::GaussianBlur(board, board, cv::Size(), 0.7);
    return board;
}

// Maps continuous board coordinates (pixel i covering [i, i + 1)) to those of the photo.
cv::Matx33d boardToPhoto() {
    const cv::Point2f board[4] = {{0.f, 0.f},
                                  {0.f, float(boardUnits)},
                                  {float(boardUnits), float(boardUnits)},
                                  {float(boardUnits), 0.f}};
    cv::Point2f photo[4];
    for (int i = 0; i < 4; ++i) {
        photo[i] = cv::Point2f(boardInPhoto[static_cast<std::size_t>(i)]);
    }
    return cv::getPerspectiveTransform(board, photo);
}

// The same map between pixel indices, whose centres lie half a pixel inside, as the warp takes it.
cv::Matx33d boardPixelsToPhotoPixels(const cv::Matx33d &boardToPhoto) {
    const cv::Matx33d toCentre(1, 0, 0.5, 0, 1, 0.5, 0, 0, 1);
    const cv::Matx33d fromCentre(1, 0, -0.5, 0, 1, -0.5, 0, 0, 1);
    return fromCentre * boardToPhoto * toCentre;
}

cv::Point mapPoint(const cv::Matx33d &transform, cv::Point point) {
    const cv::Vec3d mapped = transform * cv::Vec3d(point.x, point.y, 1.0);
    return {cvRound(mapped[0] / mapped[2]), cvRound(mapped[1] / mapped[2])};
}

// A table top with a faint, blotchy grain.
cv::Mat paintTable(cv::RNG &rng) {
    cv::Mat grain(demoPhotoSize, CV_32F, cv::Scalar(1.0));
    for (const auto &[cells, strength] :
         {std::pair{cv::Size(16, 12), 0.045}, std::pair{cv::Size(80, 60), 0.025},
          std::pair{cv::Size(400, 300), 0.012}}) {
        cv::Mat coarse(cells, CV_32F);
        rng.fill(coarse, cv::RNG::UNIFORM, -strength, strength);
        cv::Mat fine;
        cv::resize(coarse, fine, demoPhotoSize, 0, 0, cv::INTER_CUBIC);
        grain += fine;
    }
    cv::Mat table(demoPhotoSize, CV_32FC3, tableColour);
    cv::Mat grain3;
    cv::merge(std::vector<cv::Mat>{grain, grain, grain}, grain3);
    return table.mul(grain3);
}

// Light from a lamp above and beyond the top-left corner (inverse square and cosine), with a
// little lens vignetting: brightest at the top left, about half as bright at the bottom right.
cv::Mat illumination() {
    const double lampX = -250;
    const double lampY = -300;
    const double lampHeight = 2300;
    const double centreX = 0.5 * demoPhotoSize.width;
    const double centreY = 0.5 * demoPhotoSize.height;
    const double cornerDistance2 = centreX * centreX + centreY * centreY;
    const double gainAtLamp = 1.22 / std::pow(lampHeight / std::hypot(lampX, lampY, lampHeight), 3);

    cv::Mat gain(demoPhotoSize, CV_32F);
    for (int y = 0; y < gain.rows; ++y) {
        auto *row = gain.ptr<float>(y);
        for (int x = 0; x < gain.cols; ++x) {
            const double lampDistance = std::hypot(x - lampX, y - lampY, lampHeight);
            const double falloff = std::pow(lampHeight / lampDistance, 3);
            const double radius2 =
                ((x - centreX) * (x - centreX) + (y - centreY) * (y - centreY)) / cornerDistance2;
            row[x] = float(gainAtLamp * falloff * (1.0 - 0.12 * radius2));
        }
    }
    return gain;
}

} // namespace

DemoPhoto renderDemoPhoto() {
    cv::RNG rng(0x7e57c4a7);
    const cv::Matx33d layoutToPhoto = boardToPhoto();
    const cv::Matx33d transform = boardPixelsToPhotoPixels(layoutToPhoto);

    // The board warped onto the table. Outside the board the warp leaves zeros, so the warped
    // colour is already weighted by the warped coverage and the two simply add.
    const cv::Mat board = paintBoard();
    cv::Mat boardSeen;
    cv::warpPerspective(board, boardSeen, transform, demoPhotoSize, cv::INTER_LINEAR,
                        cv::BORDER_CONSTANT, cv::Scalar::all(0));
    const cv::Mat coverageFlat(board.size(), CV_32F, cv::Scalar(1.0));
    cv::Mat coverage;
    cv::warpPerspective(coverageFlat, coverage, transform, demoPhotoSize, cv::INTER_LINEAR,
                        cv::BORDER_CONSTANT, cv::Scalar::all(0));

    // The board stands a little proud of the table and casts a soft shadow away from the lamp.
    cv::Mat shadow;
    const cv::Matx33d shadowOffset(1, 0, 14, 0, 1, 18, 0, 0, 1);
    cv::warpPerspective(coverageFlat, shadow, shadowOffset * transform, demoPhotoSize,
                        cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar::all(0));
    cv::GaussianBlur(shadow, shadow, cv::Size(), 12);
    const cv::Mat tableWeight = (1.0 - 0.45 * shadow).mul(1.0 - coverage);

    cv::Mat tableWeight3;
    cv::merge(std::vector<cv::Mat>{tableWeight, tableWeight, tableWeight}, tableWeight3);
    cv::Mat scene = paintTable(rng).mul(tableWeight3) + boardSeen;

    const cv::Mat gain = illumination();
    cv::Mat gain3;
    cv::merge(std::vector<cv::Mat>{gain, gain, gain}, gain3);
    scene = scene.mul(gain3);

    // A lens that is not perfectly sharp, and sensor noise.
    cv::GaussianBlur(scene, scene, cv::Size(), 0.6);
    cv::Mat noise(demoPhotoSize, CV_32FC3);
    rng.fill(noise, cv::RNG::NORMAL, cv::Scalar::all(0), cv::Scalar::all(2.0));
    scene += noise;

    DemoPhoto photo;
    scene.convertTo(photo.image, CV_8UC3);
    photo.board = boardInPhoto;
    for (int index = 0; index < chartColumns * chartRows; ++index) {
        const cv::Rect patch = patchRect(index);
        photo.patchCentres[static_cast<std::size_t>(index)] =
            mapPoint(layoutToPhoto, (patch.tl() + patch.br()) / 2);
    }
    const int gridStart = margin - patchGap / 2;
    const int gridWidth = chartColumns * (patchSize + patchGap);
    const int gridHeight = chartRows * (patchSize + patchGap);
    photo.patchGrid = {mapPoint(layoutToPhoto, {gridStart, gridStart}),
                       mapPoint(layoutToPhoto, {gridStart, gridStart + gridHeight}),
                       mapPoint(layoutToPhoto, {gridStart + gridWidth, gridStart + gridHeight}),
                       mapPoint(layoutToPhoto, {gridStart + gridWidth, gridStart})};
    const cv::Rect &card = greyCardRect;
    photo.greyCard = {
        mapPoint(layoutToPhoto, card.tl()), mapPoint(layoutToPhoto, {card.x, card.br().y}),
        mapPoint(layoutToPhoto, card.br()), mapPoint(layoutToPhoto, {card.br().x, card.y})};
    return photo;
}

bool writeDemoPhoto(const std::string &path, std::string &error) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    std::error_code code;
    if (!parent.empty()) {
        std::filesystem::create_directories(parent, code);
        if (code) {
            error = "cannot create folder " + parent.string() + ": " + code.message();
            return false;
        }
    }
    try {
        if (!cv::imwrite(path, renderDemoPhoto().image)) {
            error = "cannot write " + path;
            return false;
        }
    } catch (const cv::Exception &exception) {
        error = "cannot write " + path + ": " + exception.what();
        return false;
    }
    return true;
}
