// SPDX-License-Identifier: GPL-3.0-or-later
// Paints the tool bar icons (32 x 32) and the application icon (128 x 128) as PNG files with
// alpha into a folder: make-icons <folder>

#include "chartcolours.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPolygonF>
#include <QRadialGradient>
#include <QTransform>

#include <cstdio>

namespace {

// One palette for all icons, so the tool bar reads as one set.
const QColor outlineDark(0x2e, 0x34, 0x36);
const QColor outlineGrey(0x55, 0x57, 0x53);
const QColor paperEdge(0x88, 0x8a, 0x85);
const QColor blueLight(0x72, 0x9f, 0xcf);
const QColor blueDark(0x20, 0x4a, 0x87);
const QColor blueOutline(0x16, 0x32, 0x5a);
const QColor orange(0xf5, 0x79, 0x00);
const QColor orangeDark(0xce, 0x5c, 0x00);

QLinearGradient verticalGradient(qreal top, qreal bottom, const QColor &from, const QColor &to) {
    QLinearGradient gradient(0, top, 0, bottom);
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    return gradient;
}

void fillAndOutline(QPainter &painter, const QPainterPath &path, const QBrush &fill,
                    const QColor &outline, qreal width = 1.0) {
    painter.setPen(QPen(outline, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    painter.setBrush(fill);
    painter.drawPath(path);
}

QPainterPath polygonPath(const QPolygonF &polygon) {
    QPainterPath path;
    path.addPolygon(polygon);
    path.closeSubpath();
    return path;
}

// A ruled line of text on paper, pixel-aligned so it stays crisp.
void textLine(QPainter &painter, qreal x1, qreal x2, qreal y, const QColor &colour) {
    painter.setPen(QPen(colour, 1.0, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(x1, y), QPointF(x2, y));
}

void paintNew(QPainter &painter) {
    const QPainterPath sheet =
        polygonPath({{{7.5, 2.5}, {19.5, 2.5}, {26.5, 9.5}, {26.5, 29.5}, {7.5, 29.5}}});
    QLinearGradient paper(7, 2, 26, 30);
    paper.setColorAt(0, Qt::white);
    paper.setColorAt(1, QColor(0xe4, 0xe5, 0xe2));
    fillAndOutline(painter, sheet, paper, paperEdge);

    const QPainterPath fold = polygonPath({{{19.5, 2.5}, {19.5, 9.5}, {26.5, 9.5}}});
    QLinearGradient foldShade(19.5, 9.5, 23, 6);
    foldShade.setColorAt(0, QColor(0xba, 0xbd, 0xb6));
    foldShade.setColorAt(1, QColor(0xee, 0xee, 0xec));
    fillAndOutline(painter, fold, foldShade, paperEdge);
}

void paintOpen(QPainter &painter) {
    const QColor edge(0x8f, 0x59, 0x02);
    const QPainterPath back = polygonPath(
        {{{3.5, 5.5}, {11.5, 5.5}, {13.5, 8.5}, {26.5, 8.5}, {26.5, 27.5}, {3.5, 27.5}}});
    fillAndOutline(painter, back,
                   verticalGradient(5, 28, QColor(0xe9, 0xb9, 0x6e), QColor(0xc1, 0x7d, 0x11)),
                   edge);

    // A sheet of paper inside shows that the folder is open.
    const QPainterPath sheet = polygonPath({{{6.5, 11.5}, {24.5, 11.5}, {24.5, 22}, {6.5, 22}}});
    fillAndOutline(painter, sheet, QColor(0xfa, 0xfa, 0xf8), paperEdge);
    textLine(painter, 9, 22, 14.5, QColor(0xba, 0xbd, 0xb6));
    textLine(painter, 9, 19, 16.5, QColor(0xba, 0xbd, 0xb6));

    const QPainterPath front =
        polygonPath({{{8.5, 14.5}, {30.5, 14.5}, {26.5, 27.5}, {3.5, 27.5}}});
    fillAndOutline(painter, front,
                   verticalGradient(14, 28, QColor(0xfd, 0xe3, 0x9c), QColor(0xf0, 0xb2, 0x3a)),
                   edge);
    // Highlight along the flap's upper edge.
    painter.setPen(QPen(QColor(255, 255, 255, 140), 1.0));
    painter.drawLine(QPointF(9.3, 15.5), QPointF(29.1, 15.5));
}

void paintSave(QPainter &painter) {
    const QPainterPath body =
        polygonPath({{{3.5, 3.5}, {25.5, 3.5}, {28.5, 6.5}, {28.5, 28.5}, {3.5, 28.5}}});
    fillAndOutline(painter, body, verticalGradient(3, 29, blueLight, blueDark), blueOutline);

    // Metal shutter with its window.
    QPainterPath shutter;
    shutter.addRect(QRectF(9.5, 3.5, 14, 9));
    fillAndOutline(painter, shutter,
                   verticalGradient(3, 13, QColor(0xf2, 0xf2, 0xf0), QColor(0xa8, 0xab, 0xa4)),
                   outlineGrey);
    painter.fillRect(QRectF(18, 5, 3, 6), outlineDark);

    // Label.
    QPainterPath label;
    label.addRoundedRect(QRectF(7.5, 16.5, 17, 12), 1.5, 1.5);
    fillAndOutline(painter, label, QColor(0xfa, 0xfa, 0xf8), blueOutline);
    textLine(painter, 10, 22, 20.5, blueLight);
    textLine(painter, 10, 22, 23.5, blueLight);
}

void paintRoi(QPainter &painter) {
    const QPainterPath skewed = polygonPath({{{2.5, 6.5}, {25.5, 2.5}, {29.5, 27.5}, {6.5, 24.5}}});
    QColor skewedFill = orange;
    skewedFill.setAlpha(90);
    fillAndOutline(painter, skewed, skewedFill, orangeDark, 1.5);

    const QRectF square(8.5, 8.5, 15, 15);
    painter.setPen(QPen(blueDark, 1.5, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(square);

    painter.setPen(QPen(blueDark, 1.0));
    painter.setBrush(Qt::white);
    for (const QPointF &corner :
         {square.topLeft(), square.topRight(), square.bottomLeft(), square.bottomRight()}) {
        painter.drawRect(QRectF(corner.x() - 2, corner.y() - 2, 4, 4));
    }
}

void paintShading(QPainter &painter) {
    QPainterPath tile;
    tile.addRoundedRect(QRectF(2.5, 2.5, 27, 27), 3.5, 3.5);
    QRadialGradient light(QPointF(16, 1), 32);
    light.setColorAt(0, Qt::white);
    light.setColorAt(0.45, QColor(0xba, 0xbd, 0xb6));
    light.setColorAt(1, QColor(0x45, 0x47, 0x44));
    fillAndOutline(painter, tile, light, outlineDark);

    painter.setPen(QPen(orange, 2.0, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(3, 16), QPointF(29, 16));

    const QPainterPath arrow =
        polygonPath({{{14, 6}, {18, 6}, {18, 19}, {22.5, 19}, {16, 26.5}, {9.5, 19}, {14, 19}}});
    fillAndOutline(painter, arrow, verticalGradient(6, 27, blueLight, blueDark), blueOutline);
}

void paintPrint(QPainter &painter) {
    QPainterPath paperIn;
    paperIn.addRect(QRectF(8.5, 2.5, 15, 10));
    fillAndOutline(painter, paperIn, QColor(0xfa, 0xfa, 0xf8), paperEdge);

    QPainterPath body;
    body.addRoundedRect(QRectF(2.5, 10.5, 27, 14), 2.5, 2.5);
    fillAndOutline(painter, body,
                   verticalGradient(10, 25, QColor(0xee, 0xee, 0xec), QColor(0x88, 0x8a, 0x85)),
                   outlineGrey);
    painter.setPen(QPen(QColor(255, 255, 255, 160), 1.0));
    painter.drawLine(QPointF(5, 11.5), QPointF(27, 11.5));

    painter.fillRect(QRectF(6, 18, 20, 3), outlineDark);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x73, 0xd2, 0x16));
    painter.drawEllipse(QPointF(25, 14.5), 1.3, 1.3);

    QPainterPath paperOut;
    paperOut.addRect(QRectF(8.5, 19.5, 15, 10));
    fillAndOutline(painter, paperOut, Qt::white, paperEdge);
    textLine(painter, 11, 21, 23.5, QColor(0x88, 0x8a, 0x85));
    textLine(painter, 11, 18, 25.5, QColor(0x88, 0x8a, 0x85));
}

// A curved arrow whose head points left at the top and whose tail bends round to the bottom.
void paintLeftArrow(QPainter &painter) {
    QPainterPath spine;
    spine.moveTo(12, 11);
    spine.lineTo(17, 11);
    spine.arcTo(QRectF(9, 11, 16, 16), 90, -180);
    spine.lineTo(12, 27);

    QPainterPathStroker stroker;
    stroker.setWidth(5);
    stroker.setCapStyle(Qt::FlatCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    QPainterPath arrow = stroker.createStroke(spine);
    arrow = arrow.united(polygonPath({{{3, 11}, {13, 3.5}, {13, 18.5}}})).simplified();

    fillAndOutline(painter, arrow,
                   verticalGradient(3, 30, QColor(0x8a, 0xe2, 0x34), QColor(0x4e, 0x9a, 0x06)),
                   QColor(0x2b, 0x5c, 0x04));
}

void paintUndo(QPainter &painter) {
    paintLeftArrow(painter);
}

void paintRedo(QPainter &painter) {
    painter.translate(32, 0);
    painter.scale(-1, 1);
    paintLeftArrow(painter);
}

// The application icon: a colour chart seen at a slant, outlined by the corner quadrilateral the
// user drags onto it.
void paintApplication(QPainter &painter) {
    const QRectF board(0, 0, 120, 120);
    const QPolygonF seen({{18, 14}, {118, 22}, {112, 116}, {8, 106}});
    QTransform slant;
    QTransform::quadToQuad(QPolygonF(board).first(4), seen, slant);

    painter.save();
    painter.setTransform(slant);
    QPainterPath boardPath;
    boardPath.addRoundedRect(board, 6, 6);
    fillAndOutline(painter, boardPath,
                   verticalGradient(0, 120, QColor(0x45, 0x48, 0x4a), QColor(0x1c, 0x1e, 0x1f)),
                   QColor(0x11, 0x12, 0x13), 1.5);

    const qreal margin = 9;
    const qreal gap = 4;
    const qreal patchWidth = (board.width() - 2 * margin - (chartColumns - 1) * gap) / chartColumns;
    const qreal gridHeight = 72;
    const qreal patchHeight = (gridHeight - (chartRows - 1) * gap) / chartRows;
    painter.setPen(Qt::NoPen);
    for (int row = 0; row < chartRows; ++row) {
        for (int column = 0; column < chartColumns; ++column) {
            const ChartColour &colour = chartColours[row * chartColumns + column];
            painter.setBrush(QColor(colour.red, colour.green, colour.blue));
            painter.drawRect(QRectF(margin + column * (patchWidth + gap),
                                    margin + row * (patchHeight + gap), patchWidth, patchHeight));
        }
    }
    // The large grey calibration card below the patches.
    painter.setBrush(QColor(124, 124, 124));
    painter.drawRect(QRectF(margin, margin + gridHeight + gap + 2, board.width() - 2 * margin,
                            board.height() - 2 * margin - gridHeight - gap - 2));
    painter.restore();

    QPainterPath quad = polygonPath(seen);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(255, 255, 255, 200), 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(quad);
    painter.setPen(QPen(orange, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(quad);

    painter.setPen(QPen(outlineDark, 2));
    painter.setBrush(Qt::white);
    for (const QPointF &corner : seen) {
        painter.drawRect(QRectF(corner.x() - 5, corner.y() - 5, 10, 10));
    }
}

struct Icon {
    const char *fileName;
    int size;
    void (*paint)(QPainter &);
};

const Icon icons[] = {
    {"new.png", 32, paintNew},
    {"open.png", 32, paintOpen},
    {"save.png", 32, paintSave},
    {"roi.png", 32, paintRoi},
    {"shading.png", 32, paintShading},
    {"print.png", 32, paintPrint},
    {"undo_32.png", 32, paintUndo},
    {"redo_32.png", 32, paintRedo},
    {"org.vexmira.Viewer.png", 128, paintApplication},
};

QImage render(const Icon &icon) {
    QImage image(icon.size, icon.size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    icon.paint(painter);
    return image;
}

} // namespace

int main(int argc, char **argv) {
    // Painting needs a GUI application for its fonts and platform, but never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication application(argc, argv);

    if (argc != 2) {
        std::fprintf(stderr, "usage: make-icons <output folder>\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "make-icons: cannot create folder %s\n", argv[1]);
        return 1;
    }
    for (const Icon &icon : icons) {
        const QString path = folder.filePath(QString::fromLatin1(icon.fileName));
        if (!render(icon).save(path, "PNG")) {
            std::fprintf(stderr, "make-icons: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
