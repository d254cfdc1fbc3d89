// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the file columns the finders' lists share: captions, cell texts, the size's alignment.
#pragma once

#include <QStringList>
#include <QVariant>

// Name, Size, Type, Modified, Attr, File version and Product version, in that order, over a row
// with the fields Path, SizeText, TypeName, DateText, AttrText, FileVersion and ProductVersion.
namespace FileColumns {

inline QStringList Captions()
{
    return {"Name", "Size", "Type", "Modified", "Attr", "File version", "Product version"};
}

template <class TRow>
QVariant Text(const TRow &r, int column)
{
    switch (column) {
    case 0: return r.Path;
    case 1: return r.SizeText;
    case 2: return r.TypeName;
    case 3: return r.DateText;
    case 4: return r.AttrText;
    case 5: return r.FileVersion;
    case 6: return r.ProductVersion;
    }
    return {};
}

// Sizes stand right-aligned.
inline QVariant Alignment(int column)
{
    return column == 1 ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
}

}  // namespace FileColumns
