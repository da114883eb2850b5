// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartexport.h"

#include "labspacelabel.h"

#include <lcms2.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

#include <memory>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("ChartExport", text);
}

// A table of text cells under named fields, as both formats hold it.
struct Table {
    QStringList fields;
    std::vector<QStringList> rows;
};

QString decimal(double value) {
    return QString::number(value, 'f', 4);
}

bool tableOf(const std::vector<PatchComparison> &patches, bool withReference, Table &table,
             QString &error) {
    for (size_t i = 0; i < patches.size(); ++i) {
        const PatchComparison &patch = patches[i];
        if (!patch.measured) {
            error = tr("Patch %1 has no pixel to measure; nothing was exported.").arg(i + 1);
            return false;
        }
        if (withReference && !patch.reference) {
            error = tr("Patch %1 has no reference value; nothing was exported.").arg(i + 1);
            return false;
        }
        const LabStats &stats = *patch.measured;
        QStringList row = {QString::number(i + 1),   decimal(stats.mean[0]),
                           decimal(stats.mean[1]),   decimal(stats.mean[2]),
                           decimal(stats.stdDev[0]), decimal(stats.stdDev[1]),
                           decimal(stats.stdDev[2]), QString::number(stats.count)};
        if (withReference) {
            const cv::Vec3d &reference = *patch.reference;
            row << decimal(reference[0]) << decimal(reference[1]) << decimal(reference[2])
                << decimal(patch.deltaE76.value_or(0)) << decimal(patch.deltaE2000.value_or(0));
        }
        table.rows.push_back(row);
    }
    return true;
}

bool writeWhole(const QString &path, const QByteArray &bytes, QString &error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = tr("Cannot write %1: %2.").arg(QFileInfo(path).fileName(), file.errorString());
        return false;
    }
    return true;
}

struct It8Deleter {
    void operator()(void *it8) const { cmsIT8Free(it8); }
};

// CGATS.17 text of `table`, with its comment and keywords, from Little CMS's writer.
QByteArray cgatsText(const Table &table, const QString &comment,
                     const std::vector<std::pair<const char *, QString>> &keywords) {
    const std::unique_ptr<void, It8Deleter> it8(cmsIT8Alloc(nullptr));
    if (!it8)
        return {};
    cmsIT8SetSheetType(it8.get(), "CGATS.17");
    cmsIT8SetComment(it8.get(), comment.toUtf8().constData());
    cmsIT8SetPropertyStr(it8.get(), "ORIGINATOR", "Vexmira Viewer");
    for (const auto &[keyword, value] : keywords)
        cmsIT8SetPropertyStr(it8.get(), keyword, value.toUtf8().constData());
    cmsIT8SetPropertyDbl(it8.get(), "NUMBER_OF_FIELDS", table.fields.size());
    for (int field = 0; field < table.fields.size(); ++field)
        cmsIT8SetDataFormat(it8.get(), field, table.fields[field].toLatin1().constData());
    cmsIT8SetPropertyDbl(it8.get(), "NUMBER_OF_SETS", double(table.rows.size()));
    for (size_t row = 0; row < table.rows.size(); ++row)
        for (int field = 0; field < table.fields.size(); ++field)
            if (!cmsIT8SetDataRowCol(it8.get(), int(row), field,
                                     table.rows[row][field].toLatin1().constData()))
                return {};

    cmsUInt32Number size = 0;
    if (!cmsIT8SaveToMem(it8.get(), nullptr, &size) || size == 0)
        return {};
    QByteArray text(int(size), '\0');
    if (!cmsIT8SaveToMem(it8.get(), text.data(), &size))
        return {};
    // The writer counts the closing zero byte.
    while (text.endsWith('\0'))
        text.chop(1);
    return text;
}

bool writeCgats(const QString &path, const Table &table, const QString &comment,
                const std::vector<std::pair<const char *, QString>> &keywords, QString &error) {
    const QByteArray text = cgatsText(table, comment, keywords);
    if (text.isEmpty()) {
        error = tr("Cannot write %1: Little CMS could not compose the CGATS text.")
                    .arg(QFileInfo(path).fileName());
        return false;
    }
    return writeWhole(path, text, error);
}

const QStringList cgatsMeasuredFields = {
    QStringLiteral("SAMPLE_ID"), QStringLiteral("LAB_L"),      QStringLiteral("LAB_A"),
    QStringLiteral("LAB_B"),     QStringLiteral("STDEV_L"),    QStringLiteral("STDEV_A"),
    QStringLiteral("STDEV_B"),   QStringLiteral("PIXEL_COUNT")};
const QStringList cgatsReferenceFields = {QStringLiteral("REF_LAB_L"), QStringLiteral("REF_LAB_A"),
                                          QStringLiteral("REF_LAB_B"), QStringLiteral("LAB_DE"),
                                          QStringLiteral("LAB_DE_2000")};

const QStringList csvMeasuredFields = {QStringLiteral("index"), QStringLiteral("L"),
                                       QStringLiteral("a"),     QStringLiteral("b"),
                                       QStringLiteral("sd_L"),  QStringLiteral("sd_a"),
                                       QStringLiteral("sd_b"),  QStringLiteral("pixels")};
const QStringList csvReferenceFields = {QStringLiteral("ref_L"), QStringLiteral("ref_a"),
                                        QStringLiteral("ref_b"), QStringLiteral("dE76"),
                                        QStringLiteral("dE2000")};

} // namespace

bool exportCgats(const QString &path, const std::vector<PatchComparison> &patches,
                 bool withReference, const LabSpace &space, QString &error) {
    Table table;
    table.fields = cgatsMeasuredFields;
    if (withReference)
        table.fields += cgatsReferenceFields;
    if (!tableOf(patches, withReference, table, error))
        return false;
    return writeCgats(
        path, table, QStringLiteral("Chart patches measured by Vexmira Viewer, row by row"),
        {{"ENCODING", labEncodingKey(space.encoding())},
         // A CGATS string cannot hold double quotes.
         {"LAB_SPACE", labSpaceLabel(space).replace(QLatin1Char('"'), QLatin1Char('\''))}},
        error);
}

bool exportCsv(const QString &path, const std::vector<PatchComparison> &patches, bool withReference,
               const LabSpace &space, QString &error) {
    const std::optional<QByteArray> text = chartCsv(patches, withReference, space, error);
    return text && writeWhole(path, *text, error);
}

std::optional<QByteArray> chartCsv(const std::vector<PatchComparison> &patches, bool withReference,
                                   const LabSpace &space, QString &error) {
    Table table;
    table.fields = csvMeasuredFields;
    if (withReference)
        table.fields += csvReferenceFields;
    if (!tableOf(patches, withReference, table, error))
        return std::nullopt;
    QByteArray text = "# L*a*b*: " + labSpaceLabel(space).toUtf8() + '\n';
    text += table.fields.join(QLatin1Char(',')).toUtf8() + '\n';
    for (const QStringList &row : table.rows)
        text += row.join(QLatin1Char(',')).toUtf8() + '\n';
    return text;
}

bool writeCgatsReference(const QString &path, const ChartReference &reference,
                         const QString &comment, const QString &encodingKey, QString &error) {
    Table table;
    table.fields = {QStringLiteral("SAMPLE_ID"), QStringLiteral("LAB_L"), QStringLiteral("LAB_A"),
                    QStringLiteral("LAB_B")};
    for (size_t i = 0; i < reference.size(); ++i)
        table.rows.push_back({QString::number(i + 1), decimal(reference[i][0]),
                              decimal(reference[i][1]), decimal(reference[i][2])});
    return writeCgats(path, table, comment, {{"ENCODING", encodingKey}}, error);
}
