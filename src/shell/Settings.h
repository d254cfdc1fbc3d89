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

// Member initialisers are the defaults. The ones that depend on the running program (client size,
// the screen's icon font, the program folder) are set by the caller before reading: see
// SetProgramFolderDefaults and ReadSettings.
struct TSettings {
    // [General]
    int FWidth = 561;                    // "Width": main window client width
    int FHeight = 529;                   // "Height": main window client height
    bool FShowSplash = true;             // "Show splashscreen"
    int FLanguageIndex = 0;              // "Language index": 0 = built-in English
    bool FFirstRun = false;              // "Language index" missing or -69 (not a key of its own)
    bool FHideToTray = false;            // "Hide to tray"
    bool FForceTryDelete = false;        // "Force try delete"
    int FBackgroundIndex = 0;            // "Background index": 0 = the built-in picture
    QString FBackgroundFile;             // "Background"
    int FBackgroundStyle = 0;            // "Background style": 0 tile, 1 centre, 2 stretch
    TColor FBackgroundColor = Colors::clBtnFace;  // "Background color"
    bool FNoBackground = true;           // "Disable background"
    QString FLanguage;                   // "Language": the chooser's item text (may be "Default (English)")
    TFontSetting FUserFont;              // "Font name", "Font size", "Font bold", ... "Font strikeout"

    // [Update]
    bool FAutoUpdate = false;            // "Automatic update"
    bool FAutoBlacklist = true;          // "Automatic blacklist update"
    bool FAlwaysConnected = false;       // "Always connected to the Internet"
    QString FProxyServer;                // "Proxy server"
    int FProxyPort = 0;                  // "Proxy port": 0..65535, 0 = the default port
    bool FUseProxy = false;              // "Use proxy"
    int FPort = 0;                       // "Port": 0..65535, stored and edited only
    QString FProxyUsername;              // "Proxy username"
    QString FProxyPassword;              // "Proxy password": plain here, enciphered + Base64 in the file
    QString FUpdateAddress = DefaultUpdateAddress;  // "Update address"
    QString FUpdateDir;                  // "Save update directory": program folder with its separator

    // [Registry]
    bool FRegistryUndo = true;           // "Create undo file on delete"
    int FUndoLevels = 10;                // "Undo levels": 1..99
    QString FRegistryUndoDir;            // "Save undo files to": program folder + "Undo\"
    bool FRegistryConfirm = true;        // "Confirm registry changes"

    // [Duplicate files]
    bool FDupSameDate = true;            // "Same date & time"
    bool FDupSameName = false;           // "Same name"
    bool FDupSameSize = true;            // "Same size"
    bool FDupSameCRC = true;             // "Same CRC"
    bool FDupSameMD5 = true;             // "Same MD5"
    bool FDupSkipEmpty = true;           // "Skip empty files"
    bool FDupFloppyMaster = true;        // "Treat floppy as master": no control, written back as read
    bool FDupSkipSysBckup = false;       // "Skip SYSBCKUP folder"
    bool FDupSkipDesktopIni = false;     // "Skip Desktop.ini folders"
    bool FDupRecycle = true;             // "Deleting method": 1 = recycle bin
    bool FDupConfirm = true;             // "Confirm duplicate changes"

    // [Unnecessary files]
    bool FUnnSkipHidden = true;          // "Hidden files"
    bool FUnnSkipReadOnly = true;        // "Read-only files"
    bool FUnnSkipSystem = false;         // "System files"
    bool FUnnSkipEmpty = false;          // "Empty files"
    bool FUnnRecycle = true;             // "Deleting method"
    QStringList FUnnCustomDirs;          // "Custom directories": comma text in the file
    bool FUnnConfirm = true;             // "Confirm unnecessary changes"
    bool FUnnRecurse = true;             // "Recurse subdirectories"

    // [Shortcuts]
    bool FShortcutRemovable = true;      // "Files on removable medias"
    bool FShortcutNetwork = true;        // "Files on network drives"
    bool FShortcutInternet = true;       // "Internet addresses"
    bool FShortcutEmptyFolders = false;  // "Empty folders"
    bool FShortcutConfirm = true;        // "Confirm start changes"
    bool FShortcutSkipDesktop = false;   // "Skip desktop"
    bool FShortcutRecycle = true;        // "Deleting method"

    // [Space usage]
    bool FChartLegendColors = false;     // "Color-coded legend"
    bool FChartAutoScan = false;         // "Start scanning automatically"
    bool FChartCompressed = false;       // "Compressed size"
    bool FChartFreeSpace = true;         // "Show free disk space"

    // [Timing]: stored and edited only
    bool FTimedRegistry = false;         // "Clean registry"
    bool FTimedTemp = false;             // "Unnecessary files"
    bool FTimedCache = false;            // "Browser cache"
    bool FTimedCookies = false;          // "Browser cookies"
    bool FTimedHistory = false;          // "Browser history"
    bool FTimedMRU = false;              // "MRU list"
    bool FTimedDeleteAll = true;         // "Delete all found items"
    bool FTimedCloseAfter = true;        // "Close after all work done"
    bool FTimedDaily = true;             // "Daily"
    bool FTimedWeekly = false;           // "Weekly"
    std::array<bool, 7> FTimedWeekdays = {true, false, false, false, false, false, false};  // "Monday" ... "Saturnday", "Sunday"
    bool FTimedMonthly = false;          // "Monthly"
    int FTimedDayOfMonth = 0;            // "Day of the month": 0 = day 1 ... 30 = day 31
    bool FTimedAtTime = false;           // "Time"
    QString FTimedTimeOfDay = QStringLiteral("00:00");  // "Time of the day"
    bool FTimedIdle = true;              // "Idle"
    int FTimedIdleMinutes = 10;          // "Idle for": 1..1000

    // [Add/remove]
    bool FAddRemoveUndo = true;          // "Undo"
    bool FAddRemoveListExtra = false;    // "List extra items"
    bool FAddRemoveConfirm = true;       // "Confirm deletions/uninstallations"
    QString FAddRemoveUndoDir;           // "Save undo files to": program folder + "Undo\"

    // [Startup]
    bool FStartupUndo = true;            // "Undo"
    QString FStartupUndoDir;             // "Undo directory": program folder + "Undo\"
    bool FStartupConfirm = true;         // "Confirm deletions"
    bool FStartupRecycle = true;         // "Deleting method"

    bool operator==(const TSettings &) const = default;
};

// The settings file: programFolder (a host folder) + "Options.ini".
QString SettingsFilePath(const QString &programFolder);

// Sets the folder defaults: FUpdateDir := programFolder, the three undo folders := programFolder +
// "Undo" + separator. programFolder is written as the settings hold folders (the Windows path of the
// program's folder, "Z:\opt\vaskimo\"); a missing trailing separator is added ("\" unless the text
// uses "/").
void SetProgramFolderDefaults(TSettings &s, const QString &programFolder);

// Reads every key in the main window's order into s. The values s holds on entry are the
// defaults, key by key. FFirstRun := [General] "Language index" is missing, unreadable or -69.
// The proxy password is Base64-decoded and decrypted (crypto/Encryption.h); any error there gives "".
// Returns false when the file exists but cannot be read (s then holds its defaults, FFirstRun set).
bool ReadSettings(TSettings &s, const QString &iniPath);

// Writes the whole set in the options dialog's order ("Width" and "Height" are not part of it:
// see WriteWindowSize). Keys and sections the file already holds are updated in place, the rest
// appended in that order; every other line of the file is kept. The file is replaced atomically and
// created readable by its owner only (it holds the proxy password). A text that the file's code
// page cannot hold (the proxy password included) is not written: that key keeps what the file has
// and its name goes to *kept. False with *error when the file cannot be written.
bool WriteSettings(const TSettings &s, const QString &iniPath, QString *error = nullptr, QStringList *kept = nullptr);

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
