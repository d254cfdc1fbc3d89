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

// The types of the table. A value outside an integer's [Min, Max] is as unreadable as "abc".
struct TBool {};
struct TInteger {
    int Min = std::numeric_limits<int>::min();
    int Max = std::numeric_limits<int>::max();
};
// Read with the rest, written only by WriteWindowSize: the options carry no window size.
struct TClientSize {
    static constexpr int Min = 1;
    static constexpr int Max = 32767;
};
// A text is written only when the file's code page can hold it.
struct TText {};
struct TColorName {};
struct TCommaText {};
// Enciphered and Base64 in the file, plain in the field.
struct TPassword {};

// Every main setting: section, key, type, default, field. The rows stand in the order the options
// save writes them, which is where a new file gets each key; reading does not depend on the order.
// The defaults that depend on the running program are set by the caller (see Settings.h).
template <class Settings, class Key>
void EachKey(Settings &s, Key &&key)
{
    key(General, "Width", TClientSize{}, 561, s.FWidth);
    key(General, "Height", TClientSize{}, 529, s.FHeight);
    key(General, "Show splashscreen", TBool{}, true, s.FShowSplash);
    key(General, "Hide to tray", TBool{}, false, s.FHideToTray);
    key(General, "Force try delete", TBool{}, false, s.FForceTryDelete);

    key(Update, "Automatic update", TBool{}, false, s.FAutoUpdate);
    key(Update, "Automatic blacklist update", TBool{}, true, s.FAutoBlacklist);
    key(Update, "Always connected to the Internet", TBool{}, false, s.FAlwaysConnected);
    key(Update, "Proxy server", TText{}, QString(), s.FProxyServer);
    key(Update, "Proxy port", TInteger{0, 65535}, 0, s.FProxyPort);
    key(Update, "Use proxy", TBool{}, false, s.FUseProxy);
    key(Update, "Proxy username", TText{}, QString(), s.FProxyUsername);
    key(Update, "Proxy password", TPassword{}, QString(), s.FProxyPassword);
    key(Update, "Port", TInteger{0, 65535}, 0, s.FPort);
    key(Update, "Update address", TText{}, DefaultUpdateAddress, s.FUpdateAddress);
    key(Update, "Save update directory", TText{}, QString(), s.FUpdateDir);

    key(General, "Background index", TInteger{0}, 0, s.FBackgroundIndex);
    key(General, "Background", TText{}, QString(), s.FBackgroundFile);
    key(General, "Background style", TInteger{0, 2}, 0, s.FBackgroundStyle);
    key(General, "Background color", TColorName{}, Colors::clBtnFace, s.FBackgroundColor);
    key(General, "Disable background", TBool{}, true, s.FNoBackground);
    key(General, "Language index", TInteger{}, 0, s.FLanguageIndex);
    key(General, "Language", TText{}, QString(), s.FLanguage);
    key(General, "Font name", TText{}, QString(), s.FUserFont.Name);
    key(General, "Font size", TInteger{1, 1638}, 8, s.FUserFont.Size);
    key(General, "Font bold", TBool{}, false, s.FUserFont.Bold);
    key(General, "Font italic", TBool{}, false, s.FUserFont.Italic);
    key(General, "Font underline", TBool{}, false, s.FUserFont.Underline);
    key(General, "Font strikeout", TBool{}, false, s.FUserFont.StrikeOut);

    key(Registry, "Create undo file on delete", TBool{}, true, s.FRegistryUndo);
    key(Registry, "Undo levels", TInteger{1, 99}, 10, s.FUndoLevels);
    key(Registry, "Save undo files to", TText{}, QString(), s.FRegistryUndoDir);
    key(Registry, "Confirm registry changes", TBool{}, true, s.FRegistryConfirm);

    key(Duplicates, "Same date & time", TBool{}, true, s.FDupSameDate);
    key(Duplicates, "Same name", TBool{}, false, s.FDupSameName);
    key(Duplicates, "Same size", TBool{}, true, s.FDupSameSize);
    key(Duplicates, "Same CRC", TBool{}, true, s.FDupSameCRC);
    key(Duplicates, "Same MD5", TBool{}, true, s.FDupSameMD5);
    key(Duplicates, "Skip empty files", TBool{}, true, s.FDupSkipEmpty);
    key(Duplicates, "Treat floppy as master", TBool{}, true, s.FDupFloppyMaster);
    key(Duplicates, "Skip SYSBCKUP folder", TBool{}, false, s.FDupSkipSysBckup);
    key(Duplicates, "Skip Desktop.ini folders", TBool{}, false, s.FDupSkipDesktopIni);
    key(Duplicates, "Deleting method", TBool{}, true, s.FDupRecycle);
    key(Duplicates, "Confirm duplicate changes", TBool{}, true, s.FDupConfirm);

    key(Unnecessary, "Hidden files", TBool{}, true, s.FUnnSkipHidden);
    key(Unnecessary, "Read-only files", TBool{}, true, s.FUnnSkipReadOnly);
    key(Unnecessary, "System files", TBool{}, false, s.FUnnSkipSystem);
    key(Unnecessary, "Empty files", TBool{}, false, s.FUnnSkipEmpty);
    key(Unnecessary, "Deleting method", TBool{}, true, s.FUnnRecycle);
    key(Unnecessary, "Custom directories", TCommaText{}, QStringList(), s.FUnnCustomDirs);
    key(Unnecessary, "Confirm unnecessary changes", TBool{}, true, s.FUnnConfirm);
    key(Unnecessary, "Recurse subdirectories", TBool{}, true, s.FUnnRecurse);

    key(Shortcuts, "Files on removable medias", TBool{}, true, s.FShortcutRemovable);
    key(Shortcuts, "Files on network drives", TBool{}, true, s.FShortcutNetwork);
    key(Shortcuts, "Internet addresses", TBool{}, true, s.FShortcutInternet);
    key(Shortcuts, "Empty folders", TBool{}, false, s.FShortcutEmptyFolders);
    key(Shortcuts, "Skip desktop", TBool{}, false, s.FShortcutSkipDesktop);
    key(Shortcuts, "Deleting method", TBool{}, true, s.FShortcutRecycle);
    key(Shortcuts, "Confirm start changes", TBool{}, true, s.FShortcutConfirm);

    key(SpaceUsage, "Color-coded legend", TBool{}, false, s.FChartLegendColors);
    key(SpaceUsage, "Start scanning automatically", TBool{}, false, s.FChartAutoScan);
    key(SpaceUsage, "Compressed size", TBool{}, false, s.FChartCompressed);
    key(SpaceUsage, "Show free disk space", TBool{}, true, s.FChartFreeSpace);

    key(Timing, "Clean registry", TBool{}, false, s.FTimedRegistry);
    key(Timing, "Unnecessary files", TBool{}, false, s.FTimedTemp);
    key(Timing, "Browser cache", TBool{}, false, s.FTimedCache);
    key(Timing, "Browser cookies", TBool{}, false, s.FTimedCookies);
    key(Timing, "Browser history", TBool{}, false, s.FTimedHistory);
    key(Timing, "MRU list", TBool{}, false, s.FTimedMRU);
    key(Timing, "Delete all found items", TBool{}, true, s.FTimedDeleteAll);
    key(Timing, "Close after all work done", TBool{}, true, s.FTimedCloseAfter);
    key(Timing, "Daily", TBool{}, true, s.FTimedDaily);
    key(Timing, "Weekly", TBool{}, false, s.FTimedWeekly);
    for (int day = Monday; day <= Sunday; ++day)
        key(Timing, WeekdayKeys[day], TBool{}, day == Monday, s.FTimedWeekdays[day]);
    key(Timing, "Monthly", TBool{}, false, s.FTimedMonthly);
    key(Timing, "Day of the month", TInteger{0, 30}, 0, s.FTimedDayOfMonth);
    key(Timing, "Time", TBool{}, false, s.FTimedAtTime);
    key(Timing, "Time of the day", TText{}, QStringLiteral("00:00"), s.FTimedTimeOfDay);
    key(Timing, "Idle", TBool{}, true, s.FTimedIdle);
    key(Timing, "Idle for", TInteger{1, 1000}, 10, s.FTimedIdleMinutes);

    key(AddRemove, "Undo", TBool{}, true, s.FAddRemoveUndo);
    key(AddRemove, "List extra items", TBool{}, false, s.FAddRemoveListExtra);
    key(AddRemove, "Confirm deletions/uninstallations", TBool{}, true, s.FAddRemoveConfirm);
    key(AddRemove, "Save undo files to", TText{}, QString(), s.FAddRemoveUndoDir);

    key(Startup, "Undo", TBool{}, true, s.FStartupUndo);
    key(Startup, "Undo directory", TText{}, QString(), s.FStartupUndoDir);
    key(Startup, "Confirm deletions", TBool{}, true, s.FStartupConfirm);
    key(Startup, "Deleting method", TBool{}, true, s.FStartupRecycle);
}

struct TDefaults {
    template <class Type, class Value, class Field>
    void operator()(const QString &, const char *, Type, const Value &value, Field &field) const
    {
        field = value;
    }
};

// Each key is read on its own; the value the field holds is its default.
struct TReader {
    const TIniFile &Ini;

    template <class Value>
    void operator()(const QString &section, const char *key, TBool, const Value &, bool &field) const
    {
        field = Ini.ReadBool(section, QString::fromLatin1(key), field);
    }
    template <class Type, class Value>
    void operator()(const QString &section, const char *key, Type range, const Value &, int &field) const
    {
        const int value = Ini.ReadInteger(section, QString::fromLatin1(key), field);
        if (value >= range.Min && value <= range.Max)
            field = value;
    }
    template <class Value>
    void operator()(const QString &section, const char *key, TText, const Value &, QString &field) const
    {
        field = Ini.ReadString(section, QString::fromLatin1(key), field);
    }
    template <class Value>
    void operator()(const QString &section, const char *key, TColorName, const Value &, TColor &field) const
    {
        TColor color;
        if (StringToColor(Ini.ReadString(section, QString::fromLatin1(key), QString()), &color))
            field = color;
    }
    template <class Value>
    void operator()(const QString &section, const char *key, TCommaText, const Value &, QStringList &field) const
    {
        const QString name = QString::fromLatin1(key);
        if (!Ini.ValueExists(section, name))
            return;
        QStringList items = CommaTextToList(Ini.ReadString(section, name, QString()));
        items.removeAll(QString());
        field = items;
    }
    template <class Value>
    void operator()(const QString &section, const char *key, TPassword, const Value &, QString &field) const
    {
        const QString stored = Ini.ReadString(section, QString::fromLatin1(key), QString());
        field = stored.isEmpty() ? QString() : ProxyPasswordFromSetting(stored);
    }
};

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

// A key whose text the file cannot hold keeps what the file has; its name goes to Kept.
struct TWriter {
    TIniFile &Ini;
    QStringList &Kept;

    template <class Value>
    void operator()(const QString &, const char *, TClientSize, const Value &, int) const
    {
    }
    template <class Value>
    void operator()(const QString &section, const char *key, TBool, const Value &, bool field) const
    {
        WriteB(Ini, section, key, field);
    }
    template <class Value>
    void operator()(const QString &section, const char *key, TInteger, const Value &, int field) const
    {
        WriteI(Ini, section, key, field);
    }
    template <class Value>
    void operator()(const QString &section, const char *key, TText, const Value &, const QString &field) const
    {
        WriteText(section, key, field);
    }
    template <class Value>
    void operator()(const QString &section, const char *key, TColorName, const Value &, TColor field) const
    {
        WriteText(section, key, ColorToString(field));
    }
    template <class Value>
    void operator()(const QString &section, const char *key, TCommaText, const Value &, const QStringList &field) const
    {
        WriteText(section, key, ListToCommaText(field));
    }
    template <class Value>
    void operator()(const QString &section, const char *key, TPassword, const Value &, const QString &field) const
    {
        const QString stored = field.isEmpty() ? QString() : ProxyPasswordToSetting(field);
        if (!field.isEmpty() && stored.isEmpty())
            Kept.append(QString::fromLatin1(key));  // the code page has no bytes for it
        else
            WriteS(Ini, section, key, stored);
    }

    void WriteText(const QString &section, const char *key, const QString &value) const
    {
        if (Ini.CanHold(value))
            WriteS(Ini, section, key, value);
        else
            Kept.append(QString::fromLatin1(key));
    }
};

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

TSettings::TSettings()
{
    EachKey(*this, TDefaults{});
}

bool ReadSettings(TSettings &s, const QString &iniPath)
{
    const TIniFile ini(iniPath);
    EachKey(s, TReader{ini});
    s.FFirstRun = ini.ReadInteger(General, QStringLiteral("Language index"), FirstRunMarker) == FirstRunMarker;
    return ini.ErrorString().isEmpty();
}

bool WriteSettings(const TSettings &s, const QString &iniPath, QString *error, QStringList *kept)
{
    QStringList keys;
    const bool written = Rewrite(iniPath, [&](TIniFile &ini) { EachKey(s, TWriter{ini, keys}); }, error);
    if (kept)
        *kept = written ? keys : QStringList();
    return written;
}

void RestoreKeptSettings(TSettings &s, const QString &iniPath, const QStringList &kept)
{
    if (kept.isEmpty())
        return;
    const TIniFile ini(iniPath);
    const TReader read{ini};
    EachKey(s, [&](const QString &section, const char *key, auto type, const auto &value, auto &field) {
        if (kept.contains(QString::fromLatin1(key)))
            read(section, key, type, value, field);
    });
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
