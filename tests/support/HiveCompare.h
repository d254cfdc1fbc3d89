// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: comparing a prefix's hive files before and after a run: every value, and what changed in the text.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <string>

namespace TestSupport {

inline const char *const HiveNames[] = {"system.reg", "user.reg", "userdef.reg"};

// One value as a hive holds it.
struct TStoredValue {
    quint32 Type = 0;
    QByteArray Bytes;
    bool operator==(const TStoredValue &o) const { return Type == o.Type && Bytes == o.Bytes; }
};
// "hive|KEY PATH (folded)|name" -> the value, for every value of the prefix's three hives.
using TPrefixValues = QHash<QString, TStoredValue>;
TPrefixValues ValuesOf(const QString &prefixFolder);
// The id ValuesOf gives a value: hive file name, key path below the hive's root, value name.
QString ValueId(const char *hive, const QString &keyPath, const QString &name);

// The three hive files' bytes by file name.
QHash<QString, QByteArray> HiveTexts(const QString &prefixFolder);

// What changed in one hive's text: value lines removed or added (with their continuation lines), per
// key, and the keys whose key line or "#time=" changed. False (with the reason) when anything else differs.
struct TTextChange {
    QHash<QByteArray, QList<QByteArray>> Removed;
    QHash<QByteArray, QList<QByteArray>> Added;
    QSet<QByteArray> Timed;
};
bool OnlyValuesChanged(const QByteArray &before, const QByteArray &after, TTextChange *change, std::string *why);

}  // namespace TestSupport
