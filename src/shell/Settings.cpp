// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: reading and writing the main settings of "Options.ini".
#include "shell/Settings.h"

QString ColorToString(TColor color) { return QStringLiteral("$%1").arg(quint32(color), 8, 16, QLatin1Char('0')).toUpper(); }
bool StringToColor(const QString &, TColor *) { return false; }
QString SettingsFilePath(const QString &programFolder) { return programFolder + QStringLiteral("/Options.ini"); }
void SetProgramFolderDefaults(TSettings &, const QString &) {}
bool ReadSettings(TSettings &, const QString &) { return true; }
bool WriteSettings(const TSettings &, const QString &, QString *) { return false; }
bool WriteLanguageChoice(const TSettings &, const QString &) { return false; }
bool WriteHideToTray(const TSettings &, const QString &) { return false; }
bool WriteWindowSize(int, int, const QString &) { return false; }
TLanguageChange LanguageChangeAfterOptions(const TSettings &, const TSettings &) { return TLanguageChange::None; }
TBackgroundAction BackgroundAction(const TSettings &) { return TBackgroundAction::RestoreBuiltIn; }
bool UpdateTimerEnabled(const TSettings &, bool) { return false; }
bool ConnectionDetectorEnabled(const TSettings &) { return false; }
