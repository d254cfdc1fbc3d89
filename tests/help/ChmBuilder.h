// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: writes small uncompressed CHM files for the help tests (ITSF header, one PMGL listing chunk, content section 0).
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

namespace TestSupport {

class TChmBuilder
{
public:
    // path as the archive names it: "/page.htm"
    TChmBuilder &Add(const QString &path, const QByteArray &data);
    // #SYSTEM with the default topic (code 2) and the title (code 3).
    TChmBuilder &System(const QString &defaultTopic, const QString &title);
    // #IVB and #STRINGS mapping context numbers to topic files.
    TChmBuilder &ContextMap(const QMap<quint32, QString> &contexts);

    QByteArray Build() const;
    bool Save(const QString &hostPath) const;

    // A file with a help page, a second page with a stylesheet and a PNG picture, the default topic
    // "/index.htm" and contexts 13 -> "/tools/registry.htm", 17 -> "/undo.htm".
    static TChmBuilder Sample();

private:
    QList<QPair<QString, QByteArray>> FFiles;
};

} // namespace TestSupport
