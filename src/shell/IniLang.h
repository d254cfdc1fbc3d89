// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the one current language file and the message lookup (the texts shown to the user).
//
// A language file is "Languages/" + language + ".txt" in the program's folder, in INI form: one
// section per window (translated by TranslateForms, IniLangUi.h) and the section "Misc" holding
// the messages under their identifiers ("M049RI"). All of this runs on the GUI thread.
#pragma once

#include <QString>

class TIniFile;

// Makes programFolder + "/Languages/" + language + ".txt" the current language file. When that
// file does not exist (or language is empty or holds a path separator), there is no current file
// afterwards and every text is the built-in English. Each call replaces the current file.
bool OpenLanguageFile(const QString &programFolder, const QString &language);

// Drops the current language file (English from now on).
void CloseLanguageFile();

// The current language file, or nullptr. Owned here; valid until the next Open/Close.
const TIniFile *LanguageFile();

// The message with this identifier from section "Misc", else english. A key that is missing or
// holds "_!#Not Existing#!_" gives english; an empty value gives "". "*|*" in a value breaks the
// line (CR LF): "a*|*b" gives "a\r\nb".
QString LangMessage(const QString &id, const QString &english);

// A value of the current file with an empty default ("" when there is no file).
QString LangValue(const QString &section, const QString &key);
