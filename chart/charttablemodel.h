// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "chartcomparison.h"
#include "labencoding.h"

#include <QAbstractTableModel>

#include <vector>

// The patches as table rows. Each row's header holds the patch's number and its swatch, so both
// stay in view while the columns scroll. The columns: measured L*a*b*, their standard
// deviations and the pixel count and, while a reference is loaded, ΔE2000 and ΔE76 first (what
// a reading is judged by) and the reference L*a*b* after the measured values. A value that does
// not exist shows as "–".
class ChartTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // What a column shows; where it stands comes from section().
    enum Column {
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

    // The section showing `column`, or -1 while it is not shown.
    int section(Column column) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    const std::vector<Column> &shownColumns() const;
    QVariant columnHeader(Column column, int role) const;
    QVariant rowHeader(int row, int role) const;

    std::vector<PatchComparison> rows;
    bool withReferenceColumns = false;
    LabEncoding swatchEncoding = LabEncoding::Linear;
};
