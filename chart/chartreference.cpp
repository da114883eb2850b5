// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartreference.h"

#include <lcms2.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <type_traits>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("ChartReference", text);
}

QString fileName(const QString &path) {
    return QFileInfo(path).fileName();
}

// The file's bytes, or nothing with the cause in `error` when it cannot be read or is not text.
std::optional<QByteArray> readText(const QString &path, QString &error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = tr("Cannot read %1: %2.").arg(fileName(path), file.errorString());
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    // Editors on some systems start UTF-8 text with a byte-order mark.
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    if (bytes.contains('\0')) {
        error = tr("%1 is a binary file, not a text file.").arg(fileName(path));
        return std::nullopt;
    }
    return bytes;
}

std::optional<double> number(const QString &text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// Little CMS's error messages for one load, gathered through its context.
struct LcmsErrors {
    QString text;

    static void collect(cmsContext context, cmsUInt32Number, const char *message) {
        auto *errors = static_cast<LcmsErrors *>(cmsGetContextUserData(context));
        if (errors->text.isEmpty())
            errors->text = QString::fromLocal8Bit(message);
    }
};

struct ContextDeleter {
    void operator()(cmsContext context) const { cmsDeleteContext(context); }
};
struct It8Deleter {
    void operator()(void *it8) const { cmsIT8Free(it8); }
};

// The columns of three fields, or nothing when one of them is missing.
std::optional<std::array<int, 3>> fieldColumns(void *it8,
                                               const std::array<const char *, 3> &fields) {
    std::array<int, 3> columns{};
    for (size_t i = 0; i < fields.size(); ++i) {
        columns[i] = cmsIT8FindDataFormat(it8, fields[i]);
        if (columns[i] < 0)
            return std::nullopt;
    }
    return columns;
}

// D50 L*a*b* of XYZ given on the usual 0-100 scale.
cv::Vec3d labFromXyz(const cv::Vec3d &xyz) {
    const cmsCIEXYZ scaled = {xyz[0] / 100, xyz[1] / 100, xyz[2] / 100};
    cmsCIELab lab;
    cmsXYZ2Lab(cmsD50_XYZ(), &lab, &scaled);
    return {lab.L, lab.a, lab.b};
}

} // namespace

std::optional<ChartReference> loadCgatsReference(const QString &path, QString &error,
                                                 ReferenceSource *source) {
    const auto bytes = readText(path, error);
    if (!bytes)
        return std::nullopt;

    LcmsErrors errors;
    const std::unique_ptr<std::remove_pointer_t<cmsContext>, ContextDeleter> context(
        cmsCreateContext(nullptr, &errors));
    if (!context) {
        error = tr("Cannot read %1: out of memory.").arg(fileName(path));
        return std::nullopt;
    }
    cmsSetLogErrorHandlerTHR(context.get(), &LcmsErrors::collect);
    // Parsed from the bytes already read, so a byte-order mark is gone and the file is read once.
    const std::unique_ptr<void, It8Deleter> it8(
        cmsIT8LoadFromMem(context.get(), bytes->constData(), cmsUInt32Number(bytes->size())));
    if (!it8) {
        // Little CMS starts its message with the name of the source, which is empty here.
        if (errors.text.startsWith(QLatin1String(": ")))
            errors.text.remove(0, 2);
        errors.text = errors.text.trimmed();
        error = errors.text.isEmpty()
                    ? tr("%1 is not a CGATS text file.").arg(fileName(path))
                    : tr("%1 is not a valid CGATS file: %2").arg(fileName(path), errors.text);
        return std::nullopt;
    }

    const std::array<const char *, 3> labFields = {"LAB_L", "LAB_A", "LAB_B"};
    const std::array<const char *, 3> xyzFields = {"XYZ_X", "XYZ_Y", "XYZ_Z"};
    auto columns = fieldColumns(it8.get(), labFields);
    const bool fromXyz = !columns && (columns = fieldColumns(it8.get(), xyzFields));
    if (!columns) {
        const auto missing =
            std::find_if(labFields.begin(), labFields.end(), [&it8](const char *field) {
                return cmsIT8FindDataFormat(it8.get(), field) < 0;
            });
        error = tr("%1 has no field %2: a reference needs LAB_L, LAB_A and LAB_B, or XYZ_X, "
                   "XYZ_Y and XYZ_Z.")
                    .arg(fileName(path), QLatin1String(*missing));
        return std::nullopt;
    }
    const std::array<const char *, 3> &fields = fromXyz ? xyzFields : labFields;
    const int patches = int(cmsIT8GetPropertyDbl(it8.get(), "NUMBER_OF_SETS"));
    if (patches <= 0) {
        error = tr("%1 holds no patch.").arg(fileName(path));
        return std::nullopt;
    }
    ChartReference reference;
    reference.reserve(size_t(patches));
    for (int patch = 0; patch < patches; ++patch) {
        cv::Vec3d values;
        for (size_t i = 0; i < fields.size(); ++i) {
            const char *cell = cmsIT8GetDataRowCol(it8.get(), patch, (*columns)[i]);
            const auto value = number(QString::fromLatin1(cell ? cell : ""));
            if (!value) {
                error = tr("%1, patch %2: field %3 holds \"%4\", not a number.")
                            .arg(fileName(path))
                            .arg(patch + 1)
                            .arg(QLatin1String(fields[i]), QString::fromLatin1(cell ? cell : ""));
                return std::nullopt;
            }
            values[int(i)] = *value;
        }
        reference.push_back(fromXyz ? labFromXyz(values) : values);
    }
    if (source)
        *source = fromXyz ? ReferenceSource::XyzConvertedToLab : ReferenceSource::Lab;
    return reference;
}

std::optional<ChartReference> loadCsvReference(const QString &path, QString &error) {
    const auto bytes = readText(path, error);
    if (!bytes)
        return std::nullopt;
    const QStringList lines = QString::fromUtf8(*bytes).split(QLatin1Char('\n'));

    // Blank lines and "#" comments, such as the L*a*b* line of exports, carry no values.
    const auto skipped = [](const QString &line) {
        const QString text = line.trimmed();
        return text.isEmpty() || text.startsWith(QLatin1Char('#'));
    };
    int lineIndex = 0;
    while (lineIndex < lines.size() && skipped(lines[lineIndex]))
        ++lineIndex;
    if (lineIndex == lines.size()) {
        error = tr("%1 is empty.").arg(fileName(path));
        return std::nullopt;
    }
    const QString &headerLine = lines[lineIndex];
    const QChar separator =
        headerLine.contains(QLatin1Char(';')) && !headerLine.contains(QLatin1Char(','))
            ? QLatin1Char(';')
            : QLatin1Char(',');
    const auto cells = [separator](const QString &line) {
        QStringList values = line.split(separator);
        for (QString &value : values) {
            value = value.trimmed();
            if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) &&
                value.endsWith(QLatin1Char('"')))
                value = value.mid(1, value.size() - 2).trimmed();
        }
        return values;
    };

    const QStringList header = cells(headerLine);
    const std::array<QString, 3> names = {QStringLiteral("L"), QStringLiteral("a"),
                                          QStringLiteral("b")};
    std::array<int, 3> columns{};
    for (size_t i = 0; i < names.size(); ++i) {
        columns[i] = int(header.indexOf(QRegularExpression(
            QRegularExpression::escape(names[i]), QRegularExpression::CaseInsensitiveOption)));
        if (columns[i] < 0) {
            error = tr("%1, line %2: the header has no column \"%3\"; a reference needs columns "
                       "L, a and b.")
                        .arg(fileName(path))
                        .arg(lineIndex + 1)
                        .arg(names[i]);
            return std::nullopt;
        }
    }

    ChartReference reference;
    for (++lineIndex; lineIndex < lines.size(); ++lineIndex) {
        if (skipped(lines[lineIndex]))
            continue;
        const QStringList row = cells(lines[lineIndex]);
        cv::Vec3d lab;
        for (size_t i = 0; i < names.size(); ++i) {
            const QString cell = columns[i] < row.size() ? row[columns[i]] : QString();
            if (cell.isEmpty()) {
                error = tr("%1, line %2: no value in column \"%3\".")
                            .arg(fileName(path))
                            .arg(lineIndex + 1)
                            .arg(names[i]);
                return std::nullopt;
            }
            const auto value = number(cell);
            if (!value) {
                error = tr("%1, line %2: \"%3\" in column \"%4\" is not a number.")
                            .arg(fileName(path))
                            .arg(lineIndex + 1)
                            .arg(cell, names[i]);
                return std::nullopt;
            }
            lab[int(i)] = *value;
        }
        reference.push_back(lab);
    }
    if (reference.empty()) {
        error = tr("%1 holds no patch.").arg(fileName(path));
        return std::nullopt;
    }
    return reference;
}

std::optional<ChartReference> loadReference(const QString &path, QString &error,
                                            ReferenceSource *source) {
    if (path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) {
        auto reference = loadCsvReference(path, error);
        if (reference && source)
            *source = ReferenceSource::Lab;
        return reference;
    }
    return loadCgatsReference(path, error, source);
}

QString referenceCountProblem(const ChartReference &reference, int patchCount,
                              const QString &path) {
    if (int(reference.size()) == patchCount)
        return {};
    return tr("%1 holds %2 patches, but the grid has %3.")
        .arg(fileName(path))
        .arg(reference.size())
        .arg(patchCount);
}
