// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a bounds-checked reader of the version resource (VS_VERSIONINFO) of PE executables.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

struct TVersionInfo {
    bool HasFixedInfo = false;
    quint16 FileVersion[4] = {0, 0, 0, 0};     // most significant first
    quint16 ProductVersion[4] = {0, 0, 0, 0};
    QList<QPair<quint16, quint16>> Translations;  // (language, code page) of \VarFileInfo\Translation
    struct TStringTable {
        QString Key;  // "040904b0" as stored (any case)
        QList<QPair<QString, QString>> Strings;
    };
    QList<TStringTable> StringTables;

    // "\StringFileInfo\<key>\<name>", key and name compared ignoring case; empty when missing.
    QString Value(const QString &tableKey, const QString &name) const;
    // The value under the first translation, formatted "%.4x%.4x"; empty when missing.
    QString TranslatedValue(const QString &name) const;
};

namespace PeReader {
// The version resource of a PE image in memory; false when it has none or it cannot be read.
bool ReadVersionInfo(const QByteArray &image, TVersionInfo *info);
bool ReadVersionInfoFile(const QString &hostPath, TVersionInfo *info);
// The raw VS_VERSIONINFO block parsed on its own.
bool ParseVersionBlock(const QByteArray &block, TVersionInfo *info);
}
