// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the current language file and the message lookup.
#include "shell/IniLang.h"

bool OpenLanguageFile(const QString &, const QString &) { return false; }
void CloseLanguageFile() {}
const TIniFile *LanguageFile() { return nullptr; }
QString LangMessage(const QString &, const QString &english) { return english; }
QString LangValue(const QString &, const QString &) { return {}; }
