// SPDX-License-Identifier: GPL-3.0-or-later
#include "charttablemodel.h"

#include "patchcolour.h"

#include <QColor>

namespace {

const QString missing = QStringLiteral("\u2013");

QVariant decimal(const std::optional<double> &value) {
    return value ? QVariant(QString::number(*value, 'f', 2)) : QVariant(missing);
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
    }
}

int ChartTableModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(rows.size());
}

int ChartTableModel::columnCount(const QModelIndex &parent) const {
    if (parent.isValid())
        return 0;
    return withReferenceColumns ? DeltaE2000Column + 1 : PixelsColumn + 1;
}

QVariant ChartTableModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
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

    if (role == Qt::DecorationRole && index.column() == SwatchColumn && mean)
        return patchColour(*mean, swatchEncoding);
    if (role == Qt::TextAlignmentRole && index.column() != SwatchColumn)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (Column(index.column())) {
    case IndexColumn:
        return index.row() + 1;
    case SwatchColumn:
        return mean ? QVariant() : QVariant(missing);
    case LColumn:
    case AColumn:
    case BColumn:
        return decimal(component(mean, index.column() - LColumn));
    case SdLColumn:
    case SdAColumn:
    case SdBColumn:
        return decimal(component(stdDev, index.column() - SdLColumn));
    case PixelsColumn:
        return measured ? QVariant(qlonglong(measured->count)) : QVariant(missing);
    case ReferenceLColumn:
    case ReferenceAColumn:
    case ReferenceBColumn:
        return decimal(component(patch.reference, index.column() - ReferenceLColumn));
    case DeltaE76Column:
        return decimal(patch.deltaE76);
    case DeltaE2000Column:
        return decimal(patch.deltaE2000);
    }
    return {};
}

QVariant ChartTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (Column(section)) {
    case IndexColumn:
        return tr("#");
    case SwatchColumn:
        return tr("Colour");
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
