// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: PE version-resource reading.
#include "platform/PeReader.h"

QString TVersionInfo::Value(const QString &, const QString &) const { return {}; }
QString TVersionInfo::TranslatedValue(const QString &) const { return {}; }

namespace PeReader {
bool ReadVersionInfo(const QByteArray &, TVersionInfo *) { return false; }
bool ReadVersionInfoFile(const QString &, TVersionInfo *) { return false; }
bool ParseVersionBlock(const QByteArray &, TVersionInfo *) { return false; }
}
