// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the installed-programs scanner TFindAddRemoveThd, its judgement, the whole-key undo export and the uninstall command line.
#pragma once

#include "platform/Registry.h"
#include "registry/UndoFiles.h"
#include "shell/SharedThd.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class TWinePrefix;

// One listed entry; the add/remove window's record list owns them.
struct TAddRemoveRecord {
    QString Name;
    TRootKey Root = TRootKey::LocalMachine;
    QString KeyPath;          // below Root, ending in "\"
    QString UninstallString;
    int IconIndex = 2;        // the program's icon in the window's image list, 2 when none
    int StatusImage = 5;      // 3 fine, 4 suspicious, 5 might be invalid, 6 extra item
    QString IconFile;         // the Windows path the icon came from, empty when none
};

// Judgement: 0 the entry is fine, 1 suspicious or too difficult to interpret, 2 it might be invalid.
// extra: the entry has an uninstall command but no display name.
using TAddRemoveFoundHandler =
    std::function<void(const QString &name, const QString &icon, TRootKey root, const QString &keyPath, const QString &uninstallString,
                       const QString &installLocation, int judgement, bool extra)>;
using TAddRemoveProgressHandler = std::function<void(int position, int total)>;

namespace AddRemove {
// Below HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, without a leading "\".
extern const QString UninstallKey;   // "Software\MicroSoft\Windows\CurrentVersion\Uninstall"

struct TUninstallKey {
    TRootKey Root;
    QString KeyPath;  // below Root, without a leading "\"
};
// Where programs are registered for uninstalling: the machine's key (and its twin for 32-bit
// programs in a 64-bit prefix), then the user's own, where per-user installers write.
QList<TUninstallKey> UninstallKeys(const std::shared_ptr<TWinePrefix> &prefix = nullptr);
extern const QString InstallerFolders;  // "Software\MicroSoft\Windows\CurrentVersion\Installer\Folders"

// The drive paths of an uninstall command (quotes removed): from each drive letter that a ":\"
// follows up to three characters after the next ".", or only "X:\" when no "." follows; in the
// order found.
QStringList DrivePaths(const QString &text);

// The export of a whole key below root as the undo file holds it after its header:
// for a key with values its key line, then its value lines sorted by name ignoring case, then its
// subkeys the same way, sorted by name. A key without values writes no key line.
// Expandable strings come back as "hex(2):" and multi-strings as "hex(7):" (ANSI bytes), so an
// import gives the types back. False with *error when a value cannot be written without loss
// (a type the file has no form for, a character outside the code page) or the key is gone: an
// undo file that cannot give the key back must not be written.
bool ExportKeyText(TRootKey root, const QString &keyPath, QStringList *lines, QString *error,
                   const std::shared_ptr<TWinePrefix> &prefix = nullptr);

// A Windows command line split as programs read theirs: blanks separate, double quotes group
// (and are dropped), "\"" inside is a quote. The program of an unquoted command with blanks is
// the shortest run of words that names an existing file, as CreateProcess finds it.
QStringList SplitCommandLine(const QString &command, const std::shared_ptr<TWinePrefix> &prefix = nullptr);

// The arguments given to "wine" for an uninstall command: a command naming "rundll32" goes to the
// shell ("start" and the split command), any other runs as its own program. Empty (nothing to
// run) for a shell command whose program start would read as one of its switches.
QStringList WineArguments(const QString &uninstallString, const std::shared_ptr<TWinePrefix> &prefix = nullptr);

// The program of an uninstall command when it names a file on a drive that is not there (with
// ".exe" added when it has no extension, as Windows looks for it); empty when it is there, when the
// prefix cannot tell, or when the command names its program without a drive (msiexec, rundll32),
// which Wine finds on its own path.
QString MissingProgram(const QString &uninstallString, const std::shared_ptr<TWinePrefix> &prefix = nullptr);

// An entry's KeyPath as TRegistry opens it: a leading "\", no trailing one.
QString OpenablePath(const QString &keyPath);

enum class TDeleteResult {
    Deleted,
    UndoFailed,  // the undo folder or file could not be made, or the key cannot be exported whole: nothing deleted
    NotDeleted   // the key could not be deleted (a running wineserver, a hive that cannot be saved)
};
struct TDeleteOutcome {
    TDeleteResult Result = TDeleteResult::NotDeleted;
    QString Reason;    // why, when known
    QString UndoFile;  // the undo file written, or the one that could not be, as a message names it
};
// The delete of an entry's whole key, after its undo file (the key exported whole, named after the
// entry in the undo folder, which is made) when undo.Write. A key that could not be deleted leaves
// no undo file: restoring it would only mislead.
TDeleteOutcome DeleteEntry(const TAddRemoveRecord &record, const UndoFiles::TUndoPlan &undo,
                           const std::shared_ptr<TWinePrefix> &prefix = nullptr);
}

class TFindAddRemoveThd final : public TSharedThd
{
    Q_OBJECT

public:
    // prefix nullptr: TWinePrefix::Current().
    TFindAddRemoveThd(QObject *owner, bool listExtraItems, TAddRemoveFoundHandler onFound,
                      TAddRemoveProgressHandler onProgress, std::shared_ptr<TWinePrefix> prefix = nullptr);
    ~TFindAddRemoveThd() override;

    static int JudgeUninstallEntry(const QString &uninstallString, const QString &installLocation,
                                   const std::shared_ptr<TWinePrefix> &prefix = nullptr);

    int Position() const { return FPosition; }
    int Total() const { return FTotal; }

protected:
    void DoWork() override;

private:
    const bool FListExtraItems;
    TAddRemoveFoundHandler FOnFound;
    TAddRemoveProgressHandler FOnProgress;
    std::shared_ptr<TWinePrefix> FPrefix;
    int FPosition = 0;
    int FTotal = 0;
};
