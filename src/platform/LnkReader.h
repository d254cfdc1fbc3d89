// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a bounds-checked reader of Windows shell links (.lnk), after Microsoft's published [MS-SHLLINK] format.
#pragma once

#include <QByteArray>
#include <QString>

// What a shell link tells the tools; every text is at most 259 characters (a MAX_PATH buffer).
struct TShellLinkInfo {
    QString Target;
    QString WorkingDirectory;
    QString Arguments;
    QString Description;
    QString IconLocation;
    int IconIndex = 0;
    // The link holds its target only in a form that lost characters (an 8-bit path with "?" where
    // the code page had no character): whether it exists cannot be told.
    bool TargetUncertain = false;
};

// How faithfully a stored path keeps the name it was made from.
enum class TLinkTextQuality {
    Lossy,     // 8-bit text with "?" (or undefined bytes) for characters the code page lacked
    CodePage,  // 8-bit text beyond ASCII: right only when read in the code page it was written in
    Exact      // UTF-16, or plain ASCII
};

// The fields of one link file as stored.
struct TShellLink {
    quint32 LinkFlags = 0;
    quint32 FileAttributes = 0;
    int IconIndex = 0;
    quint32 ShowCommand = 1;
    QString IdListPath;     // the file-system path the item ID list names, empty for virtual objects
    QString LocalBasePath;  // from the link information
    QString NetName;        // the share of a network target ("\\server\share")
    QString CommonPathSuffix;
    QString Name;           // description
    QString RelativePath;
    QString WorkingDir;
    QString Arguments;
    QString IconLocation;
    QString EnvironmentTarget;  // the environment-variable block's target
    TLinkTextQuality NetNameQuality = TLinkTextQuality::Exact, LocalBasePathQuality = TLinkTextQuality::Exact,
                     CommonPathSuffixQuality = TLinkTextQuality::Exact, IdListQuality = TLinkTextQuality::Exact,
                     EnvironmentTargetQuality = TLinkTextQuality::Exact;

    // The target path with UNC priority, from the most faithful form the link holds: among the
    // forms of the best quality, the network path, else the local path of the link information,
    // else the path of the ID list, else the environment block's. Empty when the link has none.
    QString TargetPath() const;
    // The quality of what TargetPath gives.
    TLinkTextQuality TargetQuality() const;
};

namespace LnkReader {
// No real shortcut comes near this size; a bigger file is no shortcut.
constexpr qint64 MaxFileSize = 1024 * 1024;

// False for anything that is no shell link or is cut short; never reads out of bounds.
// ansiCodePage: the code page of 8-bit strings (1252 unless the prefix says otherwise).
bool Parse(const QByteArray &data, TShellLink *link, int ansiCodePage = 1252);
// Reads only a regular file of at most MaxFileSize bytes: a FIFO, a device or anything larger is
// refused at once, without waiting on it or reading it.
bool ReadFile(const QString &hostPath, TShellLink *link, int ansiCodePage = 1252);
// The shell-link read as the tools use it: false (info untouched) without a target path; a
// target of nothing but quotes and blanks is none.
bool ReadShellLinkInfo(const QString &hostPath, TShellLinkInfo &info, int ansiCodePage = 1252);
}
