// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the one way the program writes a file: whole and on disk, or not at all.
//
// The new bytes go to a temporary file beside the target; every write, the fsync and the close are
// checked here, then the temporary file is renamed over the target and the folder is synced. On any
// failure the temporary file is removed, the target keeps every byte it had, and ErrorString() is
// the system's reason ("No space left on device"). QSaveFile is not used: Qt 6.4's commit() reports
// success after a buffered write failed with ENOSPC and renames the short file over the old one.
//
// A target that is a symbolic link is written through the link, as editors do, so the link stays
// (CreateNew never follows one: a link is a name already taken). A file with further hard links
// gets a new inode under this name alone; the other names keep the old content.
// An existing target keeps its permission bits (and its owner, where the process may keep it); a new
// one gets the mode asked for, less the umask.
#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

class TDurableFile
{
public:
    enum class TMode {
        Replace,     // the usual save: an existing target is replaced in one step
        CreateNew,   // fail with "File exists" when the target exists (claims a name, as a .trashinfo does)
    };

    explicit TDurableFile(const QString &target, TMode mode = TMode::Replace, mode_t newFileMode = 0666);
    ~TDurableFile();  // a file never committed is cancelled
    TDurableFile(const TDurableFile &) = delete;
    TDurableFile &operator=(const TDurableFile &) = delete;

    // Before Open: the file gets exactly this mode, also when it replaces a file whose mode was wider
    // (a file that holds a secret: 0600).
    void SetExactMode(mode_t mode) { FExactMode = mode; }
    // Before Commit: every write is still checked and the name still taken in one step, but the
    // file and its folder are left for the caller to make durable, for many files at once
    // (DurableFile::SyncFileSystem), before anything relies on them.
    void LeaveSyncToCaller() { FSync = false; }

    bool Open();
    bool Write(const char *data, qsizetype size);
    bool Write(const QByteArray &data) { return Write(data.constData(), data.size()); }
    // Ends the write: true only when the whole file is on disk under the target's name. When only the
    // folder's sync fails, the new content is already in place (a power cut might still lose it).
    bool Commit();
    // Removes the temporary file; the target stays as it was.
    void Cancel();

    bool IsOpen() const { return FFd >= 0; }
    qint64 Written() const { return FWritten; }
    // The path that is finally written: the target, or what the target's link leads to.
    const QString &TargetPath() const { return FTarget; }
    // The system's reason for the first failure, e.g. "No space left on device".
    const QString &ErrorString() const { return FError; }
    int Error() const { return FErrno; }

private:
    bool Fail(int err);

    QString FTarget;
    TMode FMode;
    mode_t FNewFileMode;
    mode_t FExactMode = mode_t(-1);
    bool FSync = true;
    QString FTemporary;
    int FFd = -1;
    qint64 FWritten = 0;
    int FErrno = 0;
    QString FError;
};

namespace DurableFile {
// Writes bytes as the target's whole content; error gets the reason alone (no file name).
bool Write(const QString &target, const QByteArray &bytes, QString *error = nullptr,
           TDurableFile::TMode mode = TDurableFile::TMode::Replace, mode_t newFileMode = 0666);
// Renames from over to (one step) and syncs the folder, so the new name survives a crash.
bool Rename(const QString &from, const QString &to, QString *error = nullptr);
// Makes a rename or a removal in the folder durable.
bool SyncFolder(const QString &folder, QString *error = nullptr);
// Makes everything written on the file system that holds folder durable: one call for a batch of
// files left unsynced by their writers.
bool SyncFileSystem(const QString &folder, QString *error = nullptr);
// The system's text for an errno value, as the program shows it.
QString ReasonText(int err);
}  // namespace DurableFile
