// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry: every input is written to one scratch file and taken through the program's
// picture pipeline.
#include "imagepipeline.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace {

QString scratchPath() {
    static const QString path =
        QDir::temp().filePath(QStringLiteral("vexmira-fuzz-%1.img").arg(getpid()));
    return path;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // Small pictures keep every input fast; the limit itself is tested with forged headers.
    setenv("VEXMIRA_MAX_PIXELS", "1000000", 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    QFile file(scratchPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();
    exerciseImageFile(file.fileName());
    return 0;
}
