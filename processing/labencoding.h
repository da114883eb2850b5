// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <optional>

// What the pictures' values are: linear light, as raw converters write it, or sRGB, as ordinary
// photographs and screens hold it, both converted through OpenCV's pair of conversions; or
// values in the picture's ICC profile, converted by Little CMS (see LabSpace).
enum class LabEncoding { Linear, Srgb, Icc };

// COLOR_LBGR2Lab or COLOR_BGR2Lab. Throws std::invalid_argument for Icc, which has no OpenCV
// conversion: convert through a LabSpace instead.
int bgrToLabConversion(LabEncoding encoding);
// COLOR_Lab2LBGR or COLOR_Lab2BGR. Throws std::invalid_argument for Icc.
int labToBgrConversion(LabEncoding encoding);

// "linear", "srgb" or "icc": the key in settings and on command lines.
QString labEncodingKey(LabEncoding encoding);
std::optional<LabEncoding> labEncodingFromKey(const QString &key);

// The encoding the user chose for the pictures of this process, read by every Lab step of the
// viewer. Linear until set. Safe to read from any thread; set and notified on the GUI thread.
class LabEncodingChoice : public QObject {
    Q_OBJECT

public:
    static LabEncodingChoice &instance();

    LabEncoding value() const { return current.load(std::memory_order_relaxed); }
    // Emits changed() when the value differs from the current one.
    void set(LabEncoding encoding);

signals:
    void changed(LabEncoding encoding);

private:
    LabEncodingChoice() = default;

    std::atomic<LabEncoding> current{LabEncoding::Linear};
};

inline LabEncoding currentLabEncoding() {
    return LabEncodingChoice::instance().value();
}
