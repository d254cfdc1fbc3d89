// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the prefix's Windows environment: %VAR% expansion, the Windows, system, temporary and shell folders.
//
// Variables come from the prefix alone, never from the Linux process: first what Wine derives
// (SystemRoot, windir, SystemDrive, USERNAME, USERPROFILE, HOMEDRIVE, HOMEPATH, ALLUSERSPROFILE,
// ProgramData, PUBLIC, ProgramFiles, CommonProgramFiles, APPDATA, LOCALAPPDATA), then
// HKLM\System\CurrentControlSet\Control\Session Manager\Environment, then HKCU\Environment (each a
// string as it is, an expandable string expanded with what is known so far). TEMP and TMP fall
// back to %LOCALAPPDATA%\Temp. Names ignore case.
#pragma once

#include <QHash>
#include <QString>

#include <memory>

class TWinePrefix;

class TWinEnvironment
{
public:
    // Reads the prefix's registry once; prefix == nullptr means TWinePrefix::Current().
    explicit TWinEnvironment(std::shared_ptr<TWinePrefix> prefix = nullptr);

    bool Contains(const QString &name) const;
    QString Value(const QString &name) const;  // empty when not set

    // Each %NAME% of a known variable replaced by its value; an unknown %NAME% stays as it is,
    // and so does a lone "%".
    QString Expand(const QString &text) const;

    QString WindowsFolder() const;  // "C:\windows"
    QString SystemFolder() const;   // "C:\windows\system32"
    QString TempFolder() const;     // %TEMP% expanded, ending in "\" as GetTempPath gives it
    // A shell folder by its registry name ("Cookies", "Cache", "History", "Recent", "Personal",
    // "AppData", "Local AppData", "Desktop", "Startup" ...; "Common ..." names from HKLM):
    // "User Shell Folders" expanded, else "Shell Folders", else Windows' default below the
    // profile. No trailing "\". Empty for a name Windows does not know.
    QString SpecialFolder(const QString &name) const;

private:
    void Set(const QString &name, const QString &value);
    QString ShellFolderValue(bool machine, const QString &name) const;

    std::shared_ptr<TWinePrefix> FPrefix;
    QHash<QString, QPair<QString, QString>> FVars;  // folded name -> (name as written, value)
};

namespace WinEnvironment {
// One-shot forms over TWinePrefix::Current() (or prefix): each reads the registry anew.
QString Expand(const QString &text, const std::shared_ptr<TWinePrefix> &prefix = nullptr);
QString WindowsFolder(const std::shared_ptr<TWinePrefix> &prefix = nullptr);
QString SystemFolder(const std::shared_ptr<TWinePrefix> &prefix = nullptr);
QString TempFolder(const std::shared_ptr<TWinePrefix> &prefix = nullptr);
QString SpecialFolder(const QString &name, const std::shared_ptr<TWinePrefix> &prefix = nullptr);
}
