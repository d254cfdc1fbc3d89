// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the program's main settings in "Options.ini": fields, defaults, reading and writing.
//
// The main window reads these once at start and holds the one TSettings that every window reads;
// the options window edits a copy and the main window writes the whole set back. Each key is read
// on its own: a value that cannot be read (a bad colour, "Undo levels=abc") gives that key's
// default and never stops the keys after it. Tool windows keep their own keys in the same file.
#pragma once

#include <QString>
#include <QStringList>

#include <array>

// A colour as the settings store it: 0x00BBGGRR, or 0x80000000 | a system colour index
// (clBtnFace = 0x8000000F, the platform's button face).
using TColor = qint32;

namespace Colors {
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBtnFace = TColor(0x8000000F);
constexpr TColor clWindow = TColor(0x80000005);
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;
constexpr bool IsSystemColor(TColor c) { return (quint32(c) & 0xFF000000u) == 0x80000000u; }
}

// The colour's name from the standard colour table ("clBtnFace"), else "$" and eight upper-case
// hexadecimal digits ("$00F7F7F7").
QString ColorToString(TColor color);
// The inverse: a table name (case ignored), "$" hex, or a decimal number. False when the text is
// none of these (*color is then left alone).
bool StringToColor(const QString &text, TColor *color);

struct TFontSetting {
    QString Name;           // family name
    int Size = 8;           // points
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
    bool operator==(const TFontSetting &) const = default;
};

// Index into FTimedWeekdays.
enum TWeekday { Monday, Tuesday, Wednesday, Thursday, Friday, Saturday, Sunday };

inline const QString DefaultUpdateAddress = QStringLiteral("http://www.orvendal.fi/vaskimo/Vaskimo.upd");

// The fields of the main settings. Their keys, types and defaults are one table in Settings.cpp,
// which the constructor, ReadSettings and WriteSettings walk. The defaults that depend on the running
// program (client size, the screen's icon font, the program folder) are set by the caller before
// reading: see SetProgramFolderDefaults and ReadSettings.
struct TSettings {
    TSettings();

    // [General]
    int FWidth;                      // main window client width
    int FHeight;                     // main window client height
    bool FShowSplash;
    int FLanguageIndex;              // 0 = built-in English
    bool FFirstRun = false;          // the language index is missing or -69 (not a key of its own)
    bool FHideToTray;
    bool FForceTryDelete;
    int FBackgroundIndex;            // 0 = the built-in picture
    QString FBackgroundFile;
    int FBackgroundStyle;            // 0 tile, 1 centre, 2 stretch
    TColor FBackgroundColor;
    bool FNoBackground;
    QString FLanguage;               // the chooser's item text (may be "Default (English)")
    TFontSetting FUserFont;

    // [Update]
    bool FAutoUpdate;
    bool FAutoBlacklist;
    bool FAlwaysConnected;
    QString FProxyServer;
    int FProxyPort;                  // 0 = the default port
    bool FUseProxy;
    int FPort;                       // stored and edited only
    QString FProxyUsername;
    QString FProxyPassword;          // plain here, enciphered + Base64 in the file
    QString FUpdateAddress;
    QString FUpdateDir;              // program folder with its separator

    // [Registry]
    bool FRegistryUndo;
    int FUndoLevels;
    QString FRegistryUndoDir;        // program folder + "Undo\"
    bool FRegistryConfirm;

    // [Duplicate files]
    bool FDupSameDate;
    bool FDupSameName;
    bool FDupSameSize;
    bool FDupSameCRC;
    bool FDupSameMD5;
    bool FDupSkipEmpty;
    bool FDupFloppyMaster;           // no control, written back as read
    bool FDupSkipSysBckup;
    bool FDupSkipDesktopIni;
    bool FDupRecycle;                // the deleting method: true = recycle bin
    bool FDupConfirm;

    // [Unnecessary files]
    bool FUnnSkipHidden;
    bool FUnnSkipReadOnly;
    bool FUnnSkipSystem;
    bool FUnnSkipEmpty;
    bool FUnnRecycle;
    QStringList FUnnCustomDirs;      // comma text in the file
    bool FUnnConfirm;
    bool FUnnRecurse;

    // [Shortcuts]
    bool FShortcutRemovable;
    bool FShortcutNetwork;
    bool FShortcutInternet;
    bool FShortcutEmptyFolders;
    bool FShortcutConfirm;
    bool FShortcutSkipDesktop;
    bool FShortcutRecycle;

    // [Space usage]
    bool FChartLegendColors;
    bool FChartAutoScan;
    bool FChartCompressed;
    bool FChartFreeSpace;

    // [Timing]: stored and edited only
    bool FTimedRegistry;
    bool FTimedTemp;
    bool FTimedCache;
    bool FTimedCookies;
    bool FTimedHistory;
    bool FTimedMRU;
    bool FTimedDeleteAll;
    bool FTimedCloseAfter;
    bool FTimedDaily;
    bool FTimedWeekly;
    std::array<bool, 7> FTimedWeekdays;  // by TWeekday
    bool FTimedMonthly;
    int FTimedDayOfMonth;            // 0 = day 1 ... 30 = day 31
    bool FTimedAtTime;
    QString FTimedTimeOfDay;         // "hh:mm"
    bool FTimedIdle;
    int FTimedIdleMinutes;

    // [Add/remove]
    bool FAddRemoveUndo;
    bool FAddRemoveListExtra;
    bool FAddRemoveConfirm;
    QString FAddRemoveUndoDir;       // program folder + "Undo\"

    // [Startup]
    bool FStartupUndo;
    QString FStartupUndoDir;         // program folder + "Undo\"
    bool FStartupConfirm;
    bool FStartupRecycle;

    bool operator==(const TSettings &) const = default;
};

// The settings file: programFolder (a host folder) + "Options.ini".
QString SettingsFilePath(const QString &programFolder);

// Sets the folder defaults: FUpdateDir := programFolder, the three undo folders := programFolder +
// "Undo" + separator. programFolder is written as the settings hold folders (the Windows path of the
// program's folder, "Z:\opt\vaskimo\"); a missing trailing separator is added ("\" unless the text
// uses "/").
void SetProgramFolderDefaults(TSettings &s, const QString &programFolder);

// Reads every key of the table into s. The values s holds on entry are the
// defaults, key by key. FFirstRun := [General] "Language index" is missing, unreadable or -69.
// The proxy password is Base64-decoded and decrypted (crypto/Encryption.h); any error there gives "".
// Returns false when the file exists but cannot be read (s then holds its defaults, FFirstRun set).
bool ReadSettings(TSettings &s, const QString &iniPath);

// Writes the whole set in the order of the table ("Width" and "Height" are not part of it:
// see WriteWindowSize). Keys and sections the file already holds are updated in place, the rest
// appended in that order; every other line of the file is kept. The file is replaced atomically and
// created readable by its owner only (it holds the proxy password). A text that the file's code
// page cannot hold (the proxy password included) is not written: that key keeps what the file has
// and its name goes to *kept. False with *error when the file cannot be written.
bool WriteSettings(const TSettings &s, const QString &iniPath, QString *error = nullptr, QStringList *kept = nullptr);
// The fields of the keys WriteSettings kept take the file's values again, so the session goes on
// with what is stored rather than with what could not be saved.
void RestoreKeptSettings(TSettings &s, const QString &iniPath, const QStringList &kept);

// The single-key writers; each opens the file, writes its keys and writes the file out. False with
// *error when it cannot; the file then keeps what it held.
bool WriteLanguageChoice(const TSettings &s, const QString &iniPath, QString *error = nullptr);  // "Language index", "Language"
bool WriteHideToTray(const TSettings &s, const QString &iniPath, QString *error = nullptr);      // "Hide to tray"
bool WriteWindowSize(int clientWidth, int clientHeight, const QString &iniPath, QString *error = nullptr);  // "Width", "Height"

// What the main window does after the options dialog ended with OK (old = before, now = after).
enum class TLanguageChange {
    None,          // same language text: nothing to do
    Translate,     // reopen "Languages\" + FLanguage + ".txt" and translate the main window
    NeedsRestart,  // back to the built-in English: show "You need to restart Vaskimo so that the changes take effect..."
};
TLanguageChange LanguageChangeAfterOptions(const TSettings &old, const TSettings &now);

enum class TBackgroundAction { LoadFile, RestoreBuiltIn, Clear };
TBackgroundAction BackgroundAction(const TSettings &s);

// The update timer runs exactly when automatic update is on and the machine is (or is taken to be)
// online; the connection detector runs when automatic update is on and "always connected" is off.
bool UpdateTimerEnabled(const TSettings &s, bool online);
bool ConnectionDetectorEnabled(const TSettings &s);
