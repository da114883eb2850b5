// SPDX-License-Identifier: GPL-3.0-or-later
// Replays every saved fuzzer input through the picture pipeline; under the sanitizer build a
// fault shows as a report that ends the test.
#include "imagefiles.h"
#include "imagepipeline.h"

#include <QDir>
#include <gtest/gtest.h>

TEST(FuzzRegressions, EverySavedInputIsRefusedOrTakenThroughThePipeline) {
    const QDir folder(QStringLiteral(VEXMIRA_FUZZ_REGRESSIONS));
    const QStringList inputs = folder.entryList(QDir::Files, QDir::Name);
    ASSERT_FALSE(inputs.isEmpty());
    for (const QString &name : inputs) {
        SCOPED_TRACE(name.toStdString());
        const QString path = folder.filePath(name);
        QString error;
        const bool decodes = !readImageFile(path, &error).empty();
        // A refusal always says why.
        EXPECT_TRUE(decodes || !error.isEmpty());
        EXPECT_EQ(exerciseImageFile(path), decodes);
    }
}
