// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the recycle bin as the freedesktop.org Trash (files/ + info/*.trashinfo).
//
// The freedesktop.org Trash standard (trash-spec, version 1.0) gives the layout used here.
// Items we move there show up in the desktop's own trash window, which can restore them: that is
// the whole point of using this format instead of a private folder.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class TTrash
{
public:
    // home: the "home trash" folder; files on its mount are moved there. Files on other mounts,
    // found in the mount table (a bind mount of the same file system is another mount), go to the
    // trash at the top of their own mount ($topdir/.Trash/$uid or $topdir/.Trash-$uid), their
    // paths kept relative to it.
    explicit TTrash(const QString &home = DefaultHome());

    // $XDG_DATA_HOME/Trash, else ~/.local/share/Trash.
    static QString DefaultHome();
    QString Home() const { return FHome; }

    // Moves the file, folder or link at hostPath (absolute) into the trash and writes its
    // .trashinfo. A link is moved itself, never its target. Returns false with *error set when
    // the item could not be trashed; the item is then left where it was (never deleted instead).
    bool MoveToTrash(const QString &hostPath, QString *error = nullptr) const;
    // The same for several items, in their order: every item's info is written first and the
    // infos are made durable together, then the items move. At the first item that cannot be
    // trashed it stops with *error; *moved items from the start went, the rest stay where they were.
    bool MoveToTrash(const QStringList &hostPaths, int *moved, QString *error = nullptr) const;

private:
    struct TClaim {
        QString Path;   // the item, cleaned
        QString Trash;  // the trash folder it goes to
        QString Name;   // its name in files/, its info's in info/
    };
    // Finds the item's trash and writes its info (not yet synced).
    bool Claim(const QString &hostPath, TClaim *claim, QString *error) const;

    QString FHome;
    mutable std::optional<QList<QByteArray>> FMountPoints;  // of the mount table, read at the first move
};
