// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the HTML Help loader: binds the help engine's entry points at start and knows its version and the browser control's.
//
// The engine is ours: libchm reads the help file and the viewer library (help_ui) registers the
// window that shows it. "Loading" binds the registered engine; HTML Help counts as installed when
// it is bound (and, for a topic, when the help file opens: see hh_funcs).
#pragma once

#include <QString>

#include <functional>

class QObject;

constexpr quint32 HH_HELP_CONTEXT = 15;
constexpr quint32 HH_CLOSE_ALL = 18;

// What the engine offers: HtmlHelp shows what the address (file, "::" topic, ">" window type) and
// the command ask for and returns the help window, nullptr when nothing is shown.
struct THtmlHelpEngine {
    std::function<QObject *(const QString &address, quint32 command, quintptr data)> HtmlHelp;
    std::function<void(QObject *window)> BringToForeground;
};

struct TFileVersion {
    quint16 Major = 0, Minor = 0, Release = 0, Build = 0;
    QString Text;  // "major.minor.release.build"; empty when there is no version

    static TFileVersion Of(quint16 major, quint16 minor, quint16 release, quint16 build);
    // "6.4.2" -> 6.4.2.0; anything that is not 1 to 4 numbers gives the empty version.
    static TFileVersion FromText(const QString &text);
    bool IsEmpty() const { return Text.isEmpty(); }
};

// By major, minor, release, then build: <0, 0, >0.
int CompareVersions(const TFileVersion &a, const TFileVersion &b);
// The release names of the help engine and the browser control by version; empty for no version.
QString HHFriendlyVersion(const TFileVersion &version);
QString IEFriendlyVersion(const TFileVersion &version);

// The address parts "file::/topic>window" (with or without "mk:@MSITStore:" or "ms-its:").
struct THelpAddress {
    QString File, Topic, Window;
};
THelpAddress SplitHelpAddress(const QString &address);

namespace HH {
// The viewer library announces its engine (before Load).
void RegisterEngine(THtmlHelpEngine engine);
// Counted: nested loads bind once, the last unload forgets the entry points.
bool Load();
void Unload();
bool Loaded();
// The default entry; nullptr when not loaded.
QObject *HtmlHelp(const QString &address, quint32 command, quintptr data);
void BringToForeground(QObject *window);
void CloseAllHelpWindows();

// The engine's version (the program's own: the engine is built with it), empty when not loaded;
// the browser control is Qt's text browser, so its version is Qt's.
TFileVersion EngineVersion();
TFileVersion BrowserVersion();
}
