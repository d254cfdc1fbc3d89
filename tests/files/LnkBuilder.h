// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: hand-made shell links for tests, laid out after Microsoft's published [MS-SHLLINK] format.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtEndian>

namespace LnkBuilder {

inline void Put16(QByteArray &b, quint32 v)
{
    b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
}
inline void Put32(QByteArray &b, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}

// ShellLinkHeader (2.1): 0x4C bytes with the shell link CLSID.
inline QByteArray Header(quint32 flags, int iconIndex = 0)
{
    QByteArray b;
    Put32(b, 0x4C);
    b.append(QByteArray::fromHex("0114020000000000c000000000000046"));
    Put32(b, flags);
    Put32(b, 0x20);            // FILE_ATTRIBUTE_ARCHIVE
    b.append(QByteArray(24, '\0'));  // creation, access, write time
    Put32(b, 0);               // file size
    Put32(b, quint32(iconIndex));
    Put32(b, 1);               // SW_SHOWNORMAL
    Put16(b, 0);               // hot key
    b.append(QByteArray(10, '\0'));
    return b;
}

// StringData (2.4), Unicode.
inline QByteArray String(const QString &text)
{
    QByteArray b;
    Put16(b, quint32(text.size()));
    for (QChar c : text)
        Put16(b, c.unicode());
    return b;
}

// LinkInfo (2.3) with a VolumeID of a fixed drive and a local base path in 8-bit text.
inline QByteArray LinkInfo(const QString &localBasePath)
{
    QByteArray volume;
    Put32(volume, 17);
    Put32(volume, 3);  // DRIVE_FIXED
    Put32(volume, 0x1234ABCD);
    Put32(volume, 16);
    volume.append('\0');
    const QByteArray base = localBasePath.toLatin1() + '\0';
    const QByteArray suffix(1, '\0');
    const quint32 headerSize = 0x1C, volumeAt = headerSize, baseAt = volumeAt + quint32(volume.size()),
                  suffixAt = baseAt + quint32(base.size()), size = suffixAt + quint32(suffix.size());
    QByteArray b;
    for (quint32 v : {size, headerSize, quint32(1), volumeAt, baseAt, quint32(0), suffixAt})
        Put32(b, v);
    return b + volume + base + suffix;
}

struct TLink {
    QString Target;  // the local base path
    QString WorkingDir, Arguments, Description, IconLocation;
    int IconIndex = 0;
};

// A link with link information (HasLinkInfo) and the strings that are set.
inline QByteArray WithLinkInfo(const TLink &l)
{
    quint32 flags = 0x02 | 0x80;  // HasLinkInfo, IsUnicode
    QByteArray strings;
    const struct { quint32 flag; const QString *text; } parts[] = {
        {0x04, &l.Description}, {0x10, &l.WorkingDir}, {0x20, &l.Arguments}, {0x40, &l.IconLocation}};
    for (const auto &p : parts) {
        if (p.text->isEmpty())
            continue;
        flags |= p.flag;
        strings += String(*p.text);
    }
    QByteArray b = Header(flags, l.IconIndex) + LinkInfo(l.Target) + strings;
    Put32(b, 0);  // TerminalBlock
    return b;
}

// A link with only an item ID list (2.2): My Computer, the drive "C:\", then one file-system item
// per name (the last a file, the others folders).
inline QByteArray WithIdList(const QString &drive, const QStringList &names)
{
    QByteArray items;
    QByteArray root;
    Put16(root, 0x14);
    root.append(char(0x1F)).append(char(0x50));
    root.append(QByteArray::fromHex("e04fd020ea3a6910a2d808002b30309d"));  // My Computer
    items += root;
    QByteArray driveItem;
    const QByteArray driveText = drive.toLatin1() + '\0';
    Put16(driveItem, quint32(3 + driveText.size()));
    driveItem.append(char(0x2F));
    driveItem.append(driveText);
    items += driveItem;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QByteArray name = names.at(i).toLatin1() + '\0';
        QByteArray item;
        QByteArray body;
        body.append(char(i + 1 == names.size() ? 0x32 : 0x31));  // file or folder
        body.append('\0');
        Put32(body, 0);              // size
        Put16(body, 0);              // date
        Put16(body, 0);              // time
        Put16(body, i + 1 == names.size() ? 0x20 : 0x10);
        body.append(name);
        if (body.size() % 2)
            body.append('\0');
        Put16(item, quint32(2 + body.size()));
        items += item + body;
    }
    Put16(items, 0);  // TerminalID
    QByteArray list;
    Put16(list, quint32(items.size()));
    QByteArray b = Header(0x01 | 0x80) + list + items;  // HasLinkTargetIDList, IsUnicode
    Put32(b, 0);
    return b;
}

}  // namespace LnkBuilder
