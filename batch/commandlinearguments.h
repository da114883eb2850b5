// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QStringList>

#include <optional>

// The arguments after the program's name, taken from their raw bytes as file names are decoded.
// Nothing when one of them does not come back to the same bytes (a name that is not valid in the
// file-name encoding, UTF-8): Qt's files could neither find nor make it, and would use another
// name instead. `undecodable` then holds that argument's bytes.
std::optional<QStringList> decodeArguments(int argc, const char *const *argv,
                                           QByteArray *undecodable);

// The bytes with those that are not printable ASCII as "\xNN", for a message.
QString escapedBytes(const QByteArray &bytes);
