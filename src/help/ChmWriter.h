// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: writes compiled HTML Help (.chm) files, uncompressed: ITSF header, PMGL listing chunks with a PMGI index, content section 0.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

// The help's files are stored as they are; every reader of the format takes section 0 without a
// decompressor. Names are the archive's ("/page.htm"), UTF-8, listed in case-insensitive order.
class TChmWriter
{
public:
    // path as the archive names it: "/page.htm"
    TChmWriter &Add(const QString &path, const QByteArray &data);
    // #SYSTEM: the contents file (code 0, left out when empty), the default topic (code 2) and
    // the title (code 3).
    TChmWriter &System(const QString &defaultTopic, const QString &title, const QString &contentsFile = {});
    // #IVB and #STRINGS mapping context numbers to topic files.
    TChmWriter &ContextMap(const QMap<quint32, QString> &contexts);

    // Empty when the files cannot be listed: a name too long for a listing chunk, or more
    // listing chunks than one index chunk can name.
    QByteArray Build() const;
    // The whole file on disk, or the old one as it was; false with *error (the reason).
    bool Save(const QString &hostPath, QString *error = nullptr) const;

private:
    QList<QPair<QString, QByteArray>> FFiles;
};
