// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the libchm reader behind the help engine and the viewer.
#include "help/ChmFile.h"

#include "help/ChmLayout.h"

#include <QFile>

#include <chm_lib.h>

namespace {

using Chm::Dword;
using Chm::Word;

// A NUL-terminated 8-bit string at an offset; a string that runs off the end is cut there.
QString CString(const QByteArray &data, qsizetype at)
{
    if (at < 0 || at >= data.size())
        return {};
    qsizetype end = data.indexOf('\0', at);
    if (end < 0)
        end = data.size();
    const QByteArray bytes = data.mid(at, end - at);
    const QString utf8 = QString::fromUtf8(bytes);
    return utf8.contains(QChar::ReplacementCharacter) ? QString::fromLatin1(bytes) : utf8;
}

struct TCollect {
    QStringList *List;
    qint64 Left;  // entries the directory can hold at most
};

int CollectObject(chmFile *, chmUnitInfo *ui, void *context)
{
    auto *collect = static_cast<TCollect *>(context);
    // A listing that runs on past what its directory can hold goes round in a circle.
    if (--collect->Left < 0)
        return CHM_ENUMERATOR_SUCCESS;
    collect->List->append(QString::fromUtf8(ui->path));
    return CHM_ENUMERATOR_CONTINUE;
}

bool IsPage(const QString &path)
{
    return path.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive) ||
           path.endsWith(QLatin1String(".html"), Qt::CaseInsensitive);
}

} // namespace

QString Chm::ObjectPath(const QString &topic)
{
    QString path = topic;
    path.replace(u'\\', u'/');
    if (!path.isEmpty() && !path.startsWith(u'/'))
        path.prepend(u'/');
    return path;
}

TChmFile::~TChmFile() { Close(); }

bool TChmFile::Open(const QString &hostPath)
{
    Close();
    Chm::TLayout layout;
    if (hostPath.isEmpty() || !Chm::CheckLayout(hostPath, &layout))
        return false;
    FDirectoryLength = layout.DirectoryLength;
    FHandle = chm_open(QFile::encodeName(hostPath).constData());
    if (!FHandle)
        return false;
    FFileName = hostPath;
    ReadSystem();
    ReadContextMap();
    return true;
}

void TChmFile::Close()
{
    if (FHandle)
        chm_close(FHandle);
    FHandle = nullptr;
    FFileName.clear();
    FTitle.clear();
    FDefaultTopic.clear();
    FContexts.clear();
}

bool TChmFile::Contains(const QString &objectPath) const
{
    const QByteArray path = Chm::ObjectPath(objectPath).toUtf8();
    if (!FHandle || path.size() > CHM_MAX_PATHLEN)
        return false;
    chmUnitInfo ui;
    return chm_resolve_object(FHandle, path.constData(), &ui) == CHM_RESOLVE_SUCCESS;
}

std::optional<QByteArray> TChmFile::Read(const QString &objectPath) const
{
    if (!FHandle)
        return std::nullopt;
    const QByteArray path = Chm::ObjectPath(objectPath).toUtf8();
    if (path.size() > CHM_MAX_PATHLEN)
        return std::nullopt;
    chmUnitInfo ui;
    if (chm_resolve_object(FHandle, path.constData(), &ui) != CHM_RESOLVE_SUCCESS)
        return std::nullopt;
    if (ui.length > LONGUINT64(MaxObjectSize))
        return std::nullopt;
    QByteArray data(qsizetype(ui.length), Qt::Uninitialized);
    if (data.isEmpty())
        return data;
    const LONGINT64 got = chm_retrieve_object(FHandle, &ui, reinterpret_cast<unsigned char *>(data.data()), 0,
                                              LONGINT64(ui.length));
    if (got != LONGINT64(ui.length))
        return std::nullopt;
    return data;
}

QStringList TChmFile::Objects() const
{
    QStringList list;
    // An entry takes at least four bytes of its directory.
    TCollect collect{&list, FDirectoryLength / 4};
    if (FHandle)
        chm_enumerate(FHandle, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES, CollectObject, &collect);
    return list;
}

QString TChmFile::DefaultTopic() const
{
    if (!FDefaultTopic.isEmpty() && Contains(FDefaultTopic))
        return Chm::ObjectPath(FDefaultTopic);
    // A damaged listing may name a page that cannot be looked up: that is no topic to show.
    for (const QString &path : Objects())
        if (IsPage(path) && Contains(path))
            return path;
    return {};
}

QString TChmFile::ContextTopic(quint32 context) const
{
    return FContexts.value(context);
}

// #SYSTEM: a DWORD version, then records of WORD code, WORD length and the data; code 2 is the
// default topic, 3 the title.
void TChmFile::ReadSystem()
{
    const std::optional<QByteArray> system = Read(QStringLiteral("/#SYSTEM"));
    if (!system)
        return;
    const QByteArray &data = *system;
    qsizetype at = 4;
    while (at + 4 <= data.size()) {
        const quint16 code = Word(data, at);
        const quint16 length = Word(data, at + 2);
        at += 4;
        if (at + length > data.size())
            break;
        const QByteArray field = data.mid(at, length);
        if (code == 2)
            FDefaultTopic = CString(field, 0);
        else if (code == 3)
            FTitle = CString(field, 0);
        at += length;
    }
}

// #IVB: a DWORD byte count, then pairs of the context number and the offset of the topic's file
// name in #STRINGS.
void TChmFile::ReadContextMap()
{
    const std::optional<QByteArray> ivb = Read(QStringLiteral("/#IVB"));
    const std::optional<QByteArray> strings = Read(QStringLiteral("/#STRINGS"));
    if (!ivb || !strings || ivb->size() < 4)
        return;
    const qsizetype end = qMin<qsizetype>(ivb->size(), 4 + qsizetype(Dword(*ivb, 0)));
    for (qsizetype at = 4; at + 8 <= end; at += 8) {
        const quint32 context = Dword(*ivb, at);
        const QString topic = CString(*strings, qsizetype(Dword(*ivb, at + 4)));
        if (!topic.isEmpty() && !FContexts.contains(context))
            FContexts.insert(context, Chm::ObjectPath(topic));
    }
}
