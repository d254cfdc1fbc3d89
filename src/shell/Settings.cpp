// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: reading and writing the main settings of "Options.ini".
#include "shell/Settings.h"

#include "platform/CommaText.h"
#include "crypto/Encryption.h"
#include "platform/IniFile.h"

#include <functional>
#include <limits>

namespace {

struct TNamedColor {
    const char *Name;
    TColor Value;
};

constexpr TColor Sys(int index) { return TColor(0x80000000u | quint32(index)); }

// The standard colour table; where two names share a value the first is written.
constexpr TNamedColor ColorNames[] = {
    {"clBlack", 0x000000}, {"clMaroon", 0x000080}, {"clGreen", 0x008000}, {"clOlive", 0x008080},
    {"clNavy", 0x800000}, {"clPurple", 0x800080}, {"clTeal", 0x808000}, {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0}, {"clRed", 0x0000FF}, {"clLime", 0x00FF00}, {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000}, {"clFuchsia", 0xFF00FF}, {"clAqua", 0xFFFF00}, {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0}, {"clSkyBlue", 0xF0CAA6}, {"clCream", 0xF0FBFF}, {"clMedGray", 0xA4A0A0},
    {"clLtGray", 0xC0C0C0}, {"clDkGray", 0x808080},
    {"clScrollBar", Sys(0)}, {"clBackground", Sys(1)}, {"clActiveCaption", Sys(2)},
    {"clInactiveCaption", Sys(3)}, {"clMenu", Sys(4)}, {"clWindow", Sys(5)}, {"clWindowFrame", Sys(6)},
    {"clMenuText", Sys(7)}, {"clWindowText", Sys(8)}, {"clCaptionText", Sys(9)},
    {"clActiveBorder", Sys(10)}, {"clInactiveBorder", Sys(11)}, {"clAppWorkSpace", Sys(12)},
    {"clHighlight", Sys(13)}, {"clHighlightText", Sys(14)}, {"clBtnFace", Sys(15)},
    {"clBtnShadow", Sys(16)}, {"clGrayText", Sys(17)}, {"clBtnText", Sys(18)},
    {"clInactiveCaptionText", Sys(19)}, {"clBtnHighlight", Sys(20)}, {"cl3DDkShadow", Sys(21)},
    {"cl3DLight", Sys(22)}, {"clInfoText", Sys(23)}, {"clInfoBk", Sys(24)}, {"clHotLight", Sys(26)},
    {"clGradientActiveCaption", Sys(27)}, {"clGradientInactiveCaption", Sys(28)},
    {"clMenuHighlight", Sys(29)}, {"clMenuBar", Sys(30)},
    {"clNone", Colors::clNone}, {"clDefault", Colors::clDefault},
};

const QString General = QStringLiteral("General");
const QString Update = QStringLiteral("Update");
const QString Registry = QStringLiteral("Registry");
const QString Duplicates = QStringLiteral("Duplicate files");
const QString Unnecessary = QStringLiteral("Unnecessary files");
const QString Shortcuts = QStringLiteral("Shortcuts");
const QString SpaceUsage = QStringLiteral("Space usage");
const QString Timing = QStringLiteral("Timing");
const QString AddRemove = QStringLiteral("Add/remove");
const QString Startup = QStringLiteral("Startup");

const char *const WeekdayKeys[7] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturnday", "Sunday"};

constexpr int FirstRunMarker = -69;

// A value outside [min, max] is as unreadable as "abc": the key keeps its default.
void ReadInt(const TIniFile &ini, const QString &section, const char *key, int &field,
             int min = std::numeric_limits<int>::min(), int max = std::numeric_limits<int>::max())
{
    const int value = ini.ReadInteger(section, QString::fromLatin1(key), field);
    if (value >= min && value <= max)
        field = value;
}

void ReadBool(const TIniFile &ini, const QString &section, const char *key, bool &field)
{
    field = ini.ReadBool(section, QString::fromLatin1(key), field);
}

void ReadString(const TIniFile &ini, const QString &section, const char *key, QString &field)
{
    field = ini.ReadString(section, QString::fromLatin1(key), field);
}

void ReadColor(const TIniFile &ini, const QString &section, const char *key, TColor &field)
{
    const QString text = ini.ReadString(section, QString::fromLatin1(key), QString());
    TColor color;
    if (StringToColor(text, &color))
        field = color;
}

void ReadGeneralFirst(const TIniFile &ini, TSettings &s)
{
    ReadInt(ini, General, "Width", s.FWidth, 1, 32767);
    ReadInt(ini, General, "Height", s.FHeight, 1, 32767);
    ReadBool(ini, General, "Show splashscreen", s.FShowSplash);
    s.FFirstRun = ini.ReadInteger(General, QStringLiteral("Language index"), FirstRunMarker) == FirstRunMarker;
    ReadBool(ini, General, "Hide to tray", s.FHideToTray);
    ReadBool(ini, General, "Force try delete", s.FForceTryDelete);
}

void ReadUpdate(const TIniFile &ini, TSettings &s)
{
    ReadBool(ini, Update, "Automatic update", s.FAutoUpdate);
    ReadBool(ini, Update, "Automatic blacklist update", s.FAutoBlacklist);
    ReadBool(ini, Update, "Always connected to the Internet", s.FAlwaysConnected);
    ReadString(ini, Update, "Proxy server", s.FProxyServer);
    ReadInt(ini, Update, "Proxy port", s.FProxyPort, 0, 65535);
    ReadBool(ini, Update, "Use proxy", s.FUseProxy);
    ReadInt(ini, Update, "Port", s.FPort, 0, 65535);
    ReadString(ini, Update, "Proxy username", s.FProxyUsername);
    const QString stored = ini.ReadString(Update, QStringLiteral("Proxy password"), QString());
    s.FProxyPassword = stored.isEmpty() ? QString() : ProxyPasswordFromSetting(stored);
    ReadString(ini, Update, "Update address", s.FUpdateAddress);
    ReadString(ini, Update, "Save update directory", s.FUpdateDir);
}

void ReadGeneralRest(const TIniFile &ini, TSettings &s)
{
    ReadInt(ini, General, "Background index", s.FBackgroundIndex, 0);
    ReadString(ini, General, "Background", s.FBackgroundFile);
    ReadInt(ini, General, "Background style", s.FBackgroundStyle, 0, 2);
    ReadColor(ini, General, "Background color", s.FBackgroundColor);
    ReadBool(ini, General, "Disable background", s.FNoBackground);
    ReadInt(ini, General, "Language index", s.FLanguageIndex);
    ReadString(ini, General, "Language", s.FLanguage);
    ReadString(ini, General, "Font name", s.FUserFont.Name);
    ReadInt(ini, General, "Font size", s.FUserFont.Size, 1, 1638);
    ReadBool(ini, General, "Font bold", s.FUserFont.Bold);
    ReadBool(ini, General, "Font italic", s.FUserFont.Italic);
    ReadBool(ini, General, "Font underline", s.FUserFont.Underline);
    ReadBool(ini, General, "Font strikeout", s.FUserFont.StrikeOut);
}

void ReadSections(const TIniFile &ini, TSettings &s)
{
    ReadBool(ini, Registry, "Create undo file on delete", s.FRegistryUndo);
    ReadInt(ini, Registry, "Undo levels", s.FUndoLevels, 1, 99);
    ReadString(ini, Registry, "Save undo files to", s.FRegistryUndoDir);
    ReadBool(ini, Registry, "Confirm registry changes", s.FRegistryConfirm);

    ReadBool(ini, Duplicates, "Same date & time", s.FDupSameDate);
    ReadBool(ini, Duplicates, "Same name", s.FDupSameName);
    ReadBool(ini, Duplicates, "Same size", s.FDupSameSize);
    ReadBool(ini, Duplicates, "Same CRC", s.FDupSameCRC);
    ReadBool(ini, Duplicates, "Same MD5", s.FDupSameMD5);
    ReadBool(ini, Duplicates, "Skip empty files", s.FDupSkipEmpty);
    ReadBool(ini, Duplicates, "Treat floppy as master", s.FDupFloppyMaster);
    ReadBool(ini, Duplicates, "Skip SYSBCKUP folder", s.FDupSkipSysBckup);
    ReadBool(ini, Duplicates, "Skip Desktop.ini folders", s.FDupSkipDesktopIni);
    ReadBool(ini, Duplicates, "Deleting method", s.FDupRecycle);
    ReadBool(ini, Duplicates, "Confirm duplicate changes", s.FDupConfirm);

    ReadBool(ini, Unnecessary, "Hidden files", s.FUnnSkipHidden);
    ReadBool(ini, Unnecessary, "Read-only files", s.FUnnSkipReadOnly);
    ReadBool(ini, Unnecessary, "System files", s.FUnnSkipSystem);
    ReadBool(ini, Unnecessary, "Empty files", s.FUnnSkipEmpty);
    ReadBool(ini, Unnecessary, "Deleting method", s.FUnnRecycle);
    if (ini.ValueExists(Unnecessary, QStringLiteral("Custom directories"))) {
        QStringList dirs = CommaTextToList(ini.ReadString(Unnecessary, QStringLiteral("Custom directories"), QString()));
        dirs.removeAll(QString());
        s.FUnnCustomDirs = dirs;
    }
    ReadBool(ini, Unnecessary, "Confirm unnecessary changes", s.FUnnConfirm);
    ReadBool(ini, Unnecessary, "Recurse subdirectories", s.FUnnRecurse);

    ReadBool(ini, Shortcuts, "Files on removable medias", s.FShortcutRemovable);
    ReadBool(ini, Shortcuts, "Files on network drives", s.FShortcutNetwork);
    ReadBool(ini, Shortcuts, "Internet addresses", s.FShortcutInternet);
    ReadBool(ini, Shortcuts, "Empty folders", s.FShortcutEmptyFolders);
    ReadBool(ini, Shortcuts, "Confirm start changes", s.FShortcutConfirm);
    ReadBool(ini, Shortcuts, "Skip desktop", s.FShortcutSkipDesktop);
    ReadBool(ini, Shortcuts, "Deleting method", s.FShortcutRecycle);

    ReadBool(ini, SpaceUsage, "Color-coded legend", s.FChartLegendColors);
    ReadBool(ini, SpaceUsage, "Start scanning automatically", s.FChartAutoScan);
    ReadBool(ini, SpaceUsage, "Compressed size", s.FChartCompressed);
    ReadBool(ini, SpaceUsage, "Show free disk space", s.FChartFreeSpace);

    ReadBool(ini, Timing, "Clean registry", s.FTimedRegistry);
    ReadBool(ini, Timing, "Unnecessary files", s.FTimedTemp);
    ReadBool(ini, Timing, "Browser cache", s.FTimedCache);
    ReadBool(ini, Timing, "Browser cookies", s.FTimedCookies);
    ReadBool(ini, Timing, "Browser history", s.FTimedHistory);
    ReadBool(ini, Timing, "MRU list", s.FTimedMRU);
    ReadBool(ini, Timing, "Delete all found items", s.FTimedDeleteAll);
    ReadBool(ini, Timing, "Close after all work done", s.FTimedCloseAfter);
    ReadBool(ini, Timing, "Daily", s.FTimedDaily);
    ReadBool(ini, Timing, "Weekly", s.FTimedWeekly);
    for (int day = 0; day < 7; ++day)
        ReadBool(ini, Timing, WeekdayKeys[day], s.FTimedWeekdays[day]);
    ReadBool(ini, Timing, "Monthly", s.FTimedMonthly);
    ReadInt(ini, Timing, "Day of the month", s.FTimedDayOfMonth, 0, 30);
    ReadBool(ini, Timing, "Time", s.FTimedAtTime);
    ReadString(ini, Timing, "Time of the day", s.FTimedTimeOfDay);
    ReadBool(ini, Timing, "Idle", s.FTimedIdle);
    ReadInt(ini, Timing, "Idle for", s.FTimedIdleMinutes, 1, 1000);

    ReadBool(ini, AddRemove, "Undo", s.FAddRemoveUndo);
    ReadBool(ini, AddRemove, "List extra items", s.FAddRemoveListExtra);
    ReadBool(ini, AddRemove, "Confirm deletions/uninstallations", s.FAddRemoveConfirm);
    ReadString(ini, AddRemove, "Save undo files to", s.FAddRemoveUndoDir);

    ReadBool(ini, Startup, "Undo", s.FStartupUndo);
    ReadString(ini, Startup, "Undo directory", s.FStartupUndoDir);
    ReadBool(ini, Startup, "Confirm deletions", s.FStartupConfirm);
    ReadBool(ini, Startup, "Deleting method", s.FStartupRecycle);
}

void WriteB(TIniFile &ini, const QString &section, const char *key, bool value)
{
    ini.WriteBool(section, QString::fromLatin1(key), value);
}

void WriteI(TIniFile &ini, const QString &section, const char *key, int value)
{
    ini.WriteInteger(section, QString::fromLatin1(key), value);
}

void WriteS(TIniFile &ini, const QString &section, const char *key, const QString &value)
{
    ini.WriteString(section, QString::fromLatin1(key), value);
}

// A key whose text the file cannot hold keeps what the file has; its name goes to kept.
void WriteText(TIniFile &ini, const QString &section, const char *key, const QString &value, QStringList *kept)
{
    if (ini.CanHold(value))
        WriteS(ini, section, key, value);
    else
        kept->append(QString::fromLatin1(key));
}

void WriteAll(TIniFile &ini, const TSettings &s, QStringList *kept)
{
    WriteB(ini, General, "Show splashscreen", s.FShowSplash);
    WriteB(ini, General, "Hide to tray", s.FHideToTray);
    WriteB(ini, General, "Force try delete", s.FForceTryDelete);

    WriteB(ini, Update, "Automatic update", s.FAutoUpdate);
    WriteB(ini, Update, "Automatic blacklist update", s.FAutoBlacklist);
    WriteB(ini, Update, "Always connected to the Internet", s.FAlwaysConnected);
    WriteText(ini, Update, "Proxy server", s.FProxyServer, kept);
    WriteI(ini, Update, "Proxy port", s.FProxyPort);
    WriteB(ini, Update, "Use proxy", s.FUseProxy);
    WriteText(ini, Update, "Proxy username", s.FProxyUsername, kept);
    const QString password = s.FProxyPassword.isEmpty() ? QString() : ProxyPasswordToSetting(s.FProxyPassword);
    if (!s.FProxyPassword.isEmpty() && password.isEmpty()) {
        kept->append(QStringLiteral("Proxy password"));  // the code page has no bytes for it
    } else {
        WriteS(ini, Update, "Proxy password", password);
    }
    WriteI(ini, Update, "Port", s.FPort);
    WriteText(ini, Update, "Update address", s.FUpdateAddress, kept);
    WriteText(ini, Update, "Save update directory", s.FUpdateDir, kept);

    WriteI(ini, General, "Background index", s.FBackgroundIndex);
    WriteText(ini, General, "Background", s.FBackgroundFile, kept);
    WriteI(ini, General, "Background style", s.FBackgroundStyle);
    WriteText(ini, General, "Background color", ColorToString(s.FBackgroundColor), kept);
    WriteB(ini, General, "Disable background", s.FNoBackground);
    WriteI(ini, General, "Language index", s.FLanguageIndex);
    WriteText(ini, General, "Language", s.FLanguage, kept);
    WriteText(ini, General, "Font name", s.FUserFont.Name, kept);
    WriteI(ini, General, "Font size", s.FUserFont.Size);
    WriteB(ini, General, "Font bold", s.FUserFont.Bold);
    WriteB(ini, General, "Font italic", s.FUserFont.Italic);
    WriteB(ini, General, "Font underline", s.FUserFont.Underline);
    WriteB(ini, General, "Font strikeout", s.FUserFont.StrikeOut);

    WriteB(ini, Registry, "Create undo file on delete", s.FRegistryUndo);
    WriteI(ini, Registry, "Undo levels", s.FUndoLevels);
    WriteText(ini, Registry, "Save undo files to", s.FRegistryUndoDir, kept);
    WriteB(ini, Registry, "Confirm registry changes", s.FRegistryConfirm);

    WriteB(ini, Duplicates, "Same date & time", s.FDupSameDate);
    WriteB(ini, Duplicates, "Same name", s.FDupSameName);
    WriteB(ini, Duplicates, "Same size", s.FDupSameSize);
    WriteB(ini, Duplicates, "Same CRC", s.FDupSameCRC);
    WriteB(ini, Duplicates, "Same MD5", s.FDupSameMD5);
    WriteB(ini, Duplicates, "Skip empty files", s.FDupSkipEmpty);
    WriteB(ini, Duplicates, "Treat floppy as master", s.FDupFloppyMaster);
    WriteB(ini, Duplicates, "Skip SYSBCKUP folder", s.FDupSkipSysBckup);
    WriteB(ini, Duplicates, "Skip Desktop.ini folders", s.FDupSkipDesktopIni);
    WriteB(ini, Duplicates, "Deleting method", s.FDupRecycle);
    WriteB(ini, Duplicates, "Confirm duplicate changes", s.FDupConfirm);

    WriteB(ini, Unnecessary, "Hidden files", s.FUnnSkipHidden);
    WriteB(ini, Unnecessary, "Read-only files", s.FUnnSkipReadOnly);
    WriteB(ini, Unnecessary, "System files", s.FUnnSkipSystem);
    WriteB(ini, Unnecessary, "Empty files", s.FUnnSkipEmpty);
    WriteB(ini, Unnecessary, "Deleting method", s.FUnnRecycle);
    WriteText(ini, Unnecessary, "Custom directories", ListToCommaText(s.FUnnCustomDirs), kept);
    WriteB(ini, Unnecessary, "Confirm unnecessary changes", s.FUnnConfirm);
    WriteB(ini, Unnecessary, "Recurse subdirectories", s.FUnnRecurse);

    WriteB(ini, Shortcuts, "Files on removable medias", s.FShortcutRemovable);
    WriteB(ini, Shortcuts, "Files on network drives", s.FShortcutNetwork);
    WriteB(ini, Shortcuts, "Internet addresses", s.FShortcutInternet);
    WriteB(ini, Shortcuts, "Empty folders", s.FShortcutEmptyFolders);
    WriteB(ini, Shortcuts, "Skip desktop", s.FShortcutSkipDesktop);
    WriteB(ini, Shortcuts, "Deleting method", s.FShortcutRecycle);
    WriteB(ini, Shortcuts, "Confirm start changes", s.FShortcutConfirm);

    WriteB(ini, SpaceUsage, "Color-coded legend", s.FChartLegendColors);
    WriteB(ini, SpaceUsage, "Start scanning automatically", s.FChartAutoScan);
    WriteB(ini, SpaceUsage, "Compressed size", s.FChartCompressed);
    WriteB(ini, SpaceUsage, "Show free disk space", s.FChartFreeSpace);

    WriteB(ini, Timing, "Clean registry", s.FTimedRegistry);
    WriteB(ini, Timing, "Unnecessary files", s.FTimedTemp);
    WriteB(ini, Timing, "Browser cache", s.FTimedCache);
    WriteB(ini, Timing, "Browser cookies", s.FTimedCookies);
    WriteB(ini, Timing, "Browser history", s.FTimedHistory);
    WriteB(ini, Timing, "MRU list", s.FTimedMRU);
    WriteB(ini, Timing, "Delete all found items", s.FTimedDeleteAll);
    WriteB(ini, Timing, "Close after all work done", s.FTimedCloseAfter);
    WriteB(ini, Timing, "Daily", s.FTimedDaily);
    WriteB(ini, Timing, "Weekly", s.FTimedWeekly);
    for (int day = 0; day < 7; ++day)
        WriteB(ini, Timing, WeekdayKeys[day], s.FTimedWeekdays[day]);
    WriteB(ini, Timing, "Monthly", s.FTimedMonthly);
    WriteI(ini, Timing, "Day of the month", s.FTimedDayOfMonth);
    WriteB(ini, Timing, "Time", s.FTimedAtTime);
    WriteText(ini, Timing, "Time of the day", s.FTimedTimeOfDay, kept);
    WriteB(ini, Timing, "Idle", s.FTimedIdle);
    WriteI(ini, Timing, "Idle for", s.FTimedIdleMinutes);

    WriteB(ini, AddRemove, "Undo", s.FAddRemoveUndo);
    WriteB(ini, AddRemove, "List extra items", s.FAddRemoveListExtra);
    WriteB(ini, AddRemove, "Confirm deletions/uninstallations", s.FAddRemoveConfirm);
    WriteText(ini, AddRemove, "Save undo files to", s.FAddRemoveUndoDir, kept);

    WriteB(ini, Startup, "Undo", s.FStartupUndo);
    WriteText(ini, Startup, "Undo directory", s.FStartupUndoDir, kept);
    WriteB(ini, Startup, "Confirm deletions", s.FStartupConfirm);
    WriteB(ini, Startup, "Deleting method", s.FStartupRecycle);
}

// Opens the file for a writer. A file that exists but could not be read is never rewritten: the
// rewrite would lose every tool window's keys.
bool Rewrite(const QString &iniPath, const std::function<void(TIniFile &)> &write, QString *error)
{
    TIniFile ini(iniPath);
    if (!ini.ErrorString().isEmpty()) {
        if (error)
            *error = ini.ErrorString();
        return false;
    }
    ini.SetOwnerOnly(true);
    write(ini);
    if (!ini.UpdateFile()) {
        if (error)
            *error = ini.ErrorString();
        return false;
    }
    return true;
}

}  // namespace

QString ColorToString(TColor color)
{
    for (const TNamedColor &named : ColorNames)
        if (named.Value == color)
            return QString::fromLatin1(named.Name);
    return QStringLiteral("$%1").arg(quint32(color), 8, 16, QLatin1Char('0')).toUpper();
}

bool StringToColor(const QString &text, TColor *color)
{
    const QString t = text.trimmed();
    for (const TNamedColor &named : ColorNames) {
        if (t.compare(QLatin1String(named.Name), Qt::CaseInsensitive) == 0) {
            *color = named.Value;
            return true;
        }
    }
    bool ok = false;
    if (t.startsWith(u'$') || t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        const QString digits = t.mid(t.startsWith(u'$') ? 1 : 2);
        if (digits.isEmpty() || digits.size() > 8 || digits.startsWith(u'+') || digits.startsWith(u'-'))
            return false;
        const quint32 value = digits.toUInt(&ok, 16);
        if (ok)
            *color = TColor(value);
        return ok;
    }
    const int value = t.toInt(&ok, 10);
    if (ok)
        *color = value;
    return ok;
}

QString SettingsFilePath(const QString &programFolder)
{
    QString folder = programFolder;
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder + QStringLiteral("Options.ini");
}

void SetProgramFolderDefaults(TSettings &s, const QString &programFolder)
{
    QString folder = programFolder;
    QChar separator = u'\\';
    if (folder.endsWith(u'/') || (!folder.endsWith(u'\\') && folder.contains(u'/') && !folder.contains(u'\\')))
        separator = u'/';
    if (!folder.endsWith(separator))
        folder += separator;
    s.FUpdateDir = folder;
    s.FRegistryUndoDir = folder + QStringLiteral("Undo") + separator;
    s.FAddRemoveUndoDir = s.FRegistryUndoDir;
    s.FStartupUndoDir = s.FRegistryUndoDir;
}

bool ReadSettings(TSettings &s, const QString &iniPath)
{
    const TIniFile ini(iniPath);
    ReadGeneralFirst(ini, s);
    ReadUpdate(ini, s);
    ReadGeneralRest(ini, s);
    ReadSections(ini, s);
    return ini.ErrorString().isEmpty();
}

bool WriteSettings(const TSettings &s, const QString &iniPath, QString *error, QStringList *kept)
{
    QStringList keys;
    const bool written = Rewrite(iniPath, [&](TIniFile &ini) { WriteAll(ini, s, &keys); }, error);
    if (kept)
        *kept = written ? keys : QStringList();
    return written;
}

bool WriteLanguageChoice(const TSettings &s, const QString &iniPath, QString *error)
{
    return Rewrite(iniPath, [&](TIniFile &ini) {
        WriteI(ini, General, "Language index", s.FLanguageIndex);
        WriteS(ini, General, "Language", s.FLanguage);
    }, error);
}

bool WriteHideToTray(const TSettings &s, const QString &iniPath, QString *error)
{
    return Rewrite(iniPath, [&](TIniFile &ini) { WriteB(ini, General, "Hide to tray", s.FHideToTray); }, error);
}

bool WriteWindowSize(int clientWidth, int clientHeight, const QString &iniPath, QString *error)
{
    return Rewrite(iniPath, [&](TIniFile &ini) {
        WriteI(ini, General, "Width", clientWidth);
        WriteI(ini, General, "Height", clientHeight);
    }, error);
}

TLanguageChange LanguageChangeAfterOptions(const TSettings &old, const TSettings &now)
{
    if (now.FLanguage == old.FLanguage)
        return TLanguageChange::None;
    return now.FLanguageIndex != 0 ? TLanguageChange::Translate : TLanguageChange::NeedsRestart;
}

TBackgroundAction BackgroundAction(const TSettings &s)
{
    if (s.FNoBackground)
        return TBackgroundAction::Clear;
    return s.FBackgroundIndex != 0 ? TBackgroundAction::LoadFile : TBackgroundAction::RestoreBuiltIn;
}

bool UpdateTimerEnabled(const TSettings &s, bool online)
{
    return s.FAutoUpdate && (s.FAlwaysConnected || online);
}

bool ConnectionDetectorEnabled(const TSettings &s)
{
    return s.FAutoUpdate && !s.FAlwaysConnected;
}
