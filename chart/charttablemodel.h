// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "chartcomparison.h"
#include "labencoding.h"

#include <QAbstractTableModel>

#include <vector>

// The patches as table rows: index, swatch, measured L*a*b*, their standard deviations and the
// pixel count and, while a reference is loaded, the reference L*a*b*, ΔE76 and ΔE2000. A value
// that does not exist shows as "–".
class ChartTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        IndexColumn,
        SwatchColumn,
        LColumn,
        AColumn,
        BColumn,
        SdLColumn,
        SdAColumn,
        SdBColumn,
        PixelsColumn,
        ReferenceLColumn,
        ReferenceAColumn,
        ReferenceBColumn,
        DeltaE76Column,
        DeltaE2000Column,
    };

    using QAbstractTableModel::QAbstractTableModel;

    // Swatches are shown through `encoding`. Keeps the rows in place when their number and the
    // columns stay, so a view keeps its scroll position while the corners are dragged.
    void setPatches(std::vector<PatchComparison> patches, bool withReference, LabEncoding encoding);
    const std::vector<PatchComparison> &patches() const { return rows; }
    bool hasReference() const { return withReferenceColumns; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::vector<PatchComparison> rows;
    bool withReferenceColumns = false;
    LabEncoding swatchEncoding = LabEncoding::Linear;
};
