// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the blacklist "BlackLst.vkb" beside the program: its version and the tools' skip lists.
//
// [General] "Version" ("Release " + number), "Registry" and "Unnecessary": comma text that begins
// with "," so that it can be glued to the user's own skip text. The program never writes it.
#pragma once

#include "platform/SortedStringList.h"

#include <QString>

namespace Blacklist {
// programFolder (a host folder) + "BlackLst.vkb", else the shipped one (a download wins).
QString FilePath(const QString &programFolder);
// "Version", "Release 0" when the file or key is missing.
QString Version(const QString &programFolder);
// A key's text ("Registry", "Unnecessary"); empty when the file or key is missing.
QString KeyText(const QString &programFolder, const QString &key);
// The skip list of a Find: userText + keyText as comma text when the user wrote something, else
// keyText without its first character (its leading ","); sorted, duplicates ignored.
TSortedStringList SkipList(const QString &userText, const QString &keyText);
}
