// SPDX-License-Identifier: GPL-3.0-or-later
#include "charttablemodel.h"

#include "patchcolour.h"

#include <QColor>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace {

const QString missing = QStringLiteral("\u2013");

QVariant decimal(const std::optional<double> &value) {
    return value ? QVariant(QString::number(*value, 'f', 2)) : QVariant(missing);
}

QPixmap swatch(const QColor &colour) {
    QPixmap pixmap(24, 16);
    pixmap.fill(colour);
    QPainter painter(&pixmap);
    painter.setPen(Qt::darkGray);
    painter.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
    return pixmap;
}

} // namespace

void ChartTableModel::setPatches(std::vector<PatchComparison> patches, bool withReference,
                                 LabEncoding encoding) {
    const bool sameShape = patches.size() == rows.size() && withReference == withReferenceColumns;
    if (!sameShape)
        beginResetModel();
    rows = std::move(patches);
    withReferenceColumns = withReference;
    swatchEncoding = encoding;
    if (!sameShape) {
        endResetModel();
    } else if (!rows.empty()) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
        emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
    }
}

const std::vector<ChartTableModel::Column> &ChartTableModel::shownColumns() const {
    static const std::vector<Column> measuredOnly = {LColumn,   AColumn,   BColumn,     SdLColumn,
                                                     SdAColumn, SdBColumn, PixelsColumn};
    static const std::vector<Column> withReference = {
        DeltaE2000Column, DeltaE76Column,   LColumn,   AColumn,   BColumn,   ReferenceLColumn,
        ReferenceAColumn, ReferenceBColumn, SdLColumn, SdAColumn, SdBColumn, PixelsColumn};
    return withReferenceColumns ? withReference : measuredOnly;
}

int ChartTableModel::section(Column column) const {
    const auto &shown = shownColumns();
    const auto found = std::find(shown.begin(), shown.end(), column);
    return found == shown.end() ? -1 : int(found - shown.begin());
}

int ChartTableModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(rows.size());
}

int ChartTableModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(shownColumns().size());
}

QVariant ChartTableModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    const PatchComparison &patch = rows[size_t(index.row())];
    const auto &measured = patch.measured;
    const auto component = [](const std::optional<cv::Vec3d> &lab, int c) {
        return lab ? std::optional<double>((*lab)[c]) : std::nullopt;
    };
    const std::optional<cv::Vec3d> mean =
        measured ? std::optional<cv::Vec3d>(measured->mean) : std::nullopt;
    const std::optional<cv::Vec3d> stdDev =
        measured ? std::optional<cv::Vec3d>(measured->stdDev) : std::nullopt;

    switch (const Column column = shownColumns()[size_t(index.column())]) {
    case LColumn:
    case AColumn:
    case BColumn:
        return decimal(component(mean, column - LColumn));
    case SdLColumn:
    case SdAColumn:
    case SdBColumn:
        return decimal(component(stdDev, column - SdLColumn));
    case PixelsColumn:
        return measured ? QVariant(qlonglong(measured->count)) : QVariant(missing);
    case ReferenceLColumn:
    case ReferenceAColumn:
    case ReferenceBColumn:
        return decimal(component(patch.reference, column - ReferenceLColumn));
    case DeltaE76Column:
        return decimal(patch.deltaE76);
    case DeltaE2000Column:
        return decimal(patch.deltaE2000);
    }
    return {};
}

QVariant ChartTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical)
        return section >= 0 && section < rowCount() ? rowHeader(section, role) : QVariant();
    if (section < 0 || section >= columnCount())
        return {};
    return columnHeader(shownColumns()[size_t(section)], role);
}

QVariant ChartTableModel::rowHeader(int row, int role) const {
    const PatchComparison &patch = rows[size_t(row)];
    switch (role) {
    case Qt::DisplayRole:
        return row + 1;
    case Qt::DecorationRole:
        return patch.measured ? QVariant(swatch(patchColour(patch.measured->mean, swatchEncoding)))
                              : QVariant();
    case Qt::ToolTipRole:
        return patch.measured ? tr("Patch %1, in its measured colour").arg(row + 1)
                              : tr("Patch %1: its area holds no pixel").arg(row + 1);
    default:
        return {};
    }
}

QVariant ChartTableModel::columnHeader(Column column, int role) const {
    if (role == Qt::ToolTipRole) {
        switch (column) {
        case LColumn:
        case AColumn:
        case BColumn:
            return tr("Mean L*a*b* measured over the patch's sample area");
        case SdLColumn:
        case SdAColumn:
        case SdBColumn:
            return tr("Standard deviation over the patch's sample area");
        case PixelsColumn:
            return tr("Pixels in the patch's sample area");
        case ReferenceLColumn:
        case ReferenceAColumn:
        case ReferenceBColumn:
            return tr("L*a*b* the reference file gives for the patch");
        case DeltaE76Column:
            return tr("ΔE76: distance between measured and reference L*a*b*");
        case DeltaE2000Column:
            return tr("ΔE2000 (CIEDE2000) between measured and reference L*a*b*");
        }
        return {};
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (column) {
    case LColumn:
        return tr("L*");
    case AColumn:
        return tr("a*");
    case BColumn:
        return tr("b*");
    case SdLColumn:
        return tr("σ L*");
    case SdAColumn:
        return tr("σ a*");
    case SdBColumn:
        return tr("σ b*");
    case PixelsColumn:
        return tr("Pixels");
    case ReferenceLColumn:
        return tr("Ref. L*");
    case ReferenceAColumn:
        return tr("Ref. a*");
    case ReferenceBColumn:
        return tr("Ref. b*");
    case DeltaE76Column:
        return tr("ΔE76");
    case DeltaE2000Column:
        return tr("ΔE2000");
    }
    return {};
}
