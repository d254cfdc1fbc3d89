// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a compiled HTML Help (.chm) file read through libchm: its objects, default topic and context map.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

struct chmFile;

// Every parse here is bounds-checked: a truncated or hostile help file gives "not found", never a
// crash, and its directory is checked before libchm reads it, so no help file can make libchm
// loop for ever or allocate more than the file holds.
class TChmFile
{
public:
    TChmFile() = default;
    explicit TChmFile(const QString &hostPath) { Open(hostPath); }
    ~TChmFile();
    TChmFile(const TChmFile &) = delete;
    TChmFile &operator=(const TChmFile &) = delete;

    bool Open(const QString &hostPath);
    void Close();
    bool IsOpen() const { return FHandle != nullptr; }
    QString FileName() const { return FFileName; }

    // Object paths as the archive holds them ("/page.htm"); a missing leading "/" is added.
    bool Contains(const QString &objectPath) const;
    std::optional<QByteArray> Read(const QString &objectPath) const;
    QStringList Objects() const;  // the normal files, in archive order

    QString Title() const { return FTitle; }
    // The project's default topic, else its first HTML page; "" when it has none.
    QString DefaultTopic() const;
    // The topic a help context number names in the context map (#IVB over #STRINGS); "" when unmapped.
    QString ContextTopic(quint32 context) const;
    QHash<quint32, QString> ContextMap() const { return FContexts; }

    // Objects larger than this are not read: a help page never is, a damaged length often.
    static constexpr qint64 MaxObjectSize = 64 * 1024 * 1024;

private:
    void ReadSystem();
    void ReadContextMap();

    chmFile *FHandle = nullptr;
    qint64 FDirectoryLength = 0;
    QString FFileName;
    QString FTitle;
    QString FDefaultTopic;
    QHash<quint32, QString> FContexts;
};

namespace Chm {
// "a\b.htm" -> "/a/b.htm"; "" stays "".
QString ObjectPath(const QString &topic);
}
