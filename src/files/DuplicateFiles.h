// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: what the duplicate finder's stages read and write: the files of the prefix's drives
// through a replaceable layer, and their own chunk and work files of key lines.
#pragma once

#include "platform/DriveMap.h"
#include "platform/DurableFile.h"
#include "platform/WinFiles.h"

#include <QFile>
#include <QString>

#include <memory>

class QIODevice;

namespace Duplicate {

// What the stages need of the file system; tests replace it to make files unreadable.
class TFileLayer
{
public:
    virtual ~TFileLayer();
    virtual QString HostRoot(QChar driveLetter) const;  // empty for an unknown drive
    virtual TPathMapping ToHost(const QString &windowsPath) const;
    // HostFiles::ListFolder: the names with no Windows path of their own go to *faulted.
    virtual QList<TSearchRec> ListFolder(const QString &hostFolder, QList<TSearchRec> *faulted,
                                         const HostFiles::TListNeeds &needs) const;
    // nullptr, or a device that is not open, when the file cannot be read.
    virtual std::unique_ptr<QIODevice> OpenRead(const QString &hostPath) const;
};
std::shared_ptr<const TFileLayer> DefaultFileLayer();

// Host path of a Windows path ("X:\\a\\b") whose folders the scan spelled from host names, given
// the host root of its drive.
QString HostPathOf(const QString &hostRoot, const QString &windowsPath);

QString ChunkName(const QString &baseName, qint64 index);  // BaseName.000, ... BaseName.1000
QString WorkFileName(const QString &baseName);             // BaseName.$$$
// Removes the chunk and work files an earlier run left beside baseName.
void RemoveTemporaries(const QString &baseName);

// A stage's failure: a std::runtime_error with the message, which the stage records as its error.
[[noreturn]] void Fail(const QString &message);

// Lines of a text file with CR LF (or LF) endings; empty lines are passed over.
class TLineReader
{
public:
    explicit TLineReader(const QString &name) : FFile(name) {}
    bool Open() { return FFile.open(QIODevice::ReadOnly); }
    QString ErrorString() const { return FFile.errorString(); }
    bool Next(QString &line)
    {
        while (true) {
            QByteArray bytes = FFile.readLine();
            if (bytes.isEmpty())
                return false;
            while (bytes.endsWith('\n') || bytes.endsWith('\r'))
                bytes.chop(1);
            if (!bytes.isEmpty()) {
                line = QString::fromUtf8(bytes);
                return true;
            }
        }
    }

private:
    QFile FFile;
};

// A chunk or the merge's work file: every write checked, whole in the file when Close returns.
// They live for this search only and a crash makes them useless, so they are never synced: a
// sync of each would cost more than the search on a busy disk.
class TLineWriter
{
public:
    explicit TLineWriter(const QString &name) : FFile(name) { FFile.LeaveSyncToCaller(); }
    void Open()
    {
        if (!FFile.Open())
            Fail(QStringLiteral("Cannot create file %1. %2").arg(FFile.TargetPath(), FFile.ErrorString()));
    }
    void Write(const QString &line)
    {
        FBuffer += line.toUtf8();
        FBuffer += "\r\n";
        if (FBuffer.size() >= 1 << 16)
            Flush();
    }
    void Close()
    {
        Flush();
        if (!FFile.Commit())
            Fail(QStringLiteral("Cannot write file %1. %2").arg(FFile.TargetPath(), FFile.ErrorString()));
    }

private:
    void Flush()
    {
        if (!FBuffer.isEmpty() && !FFile.Write(FBuffer))
            Fail(QStringLiteral("Cannot write file %1. %2").arg(FFile.TargetPath(), FFile.ErrorString()));
        FBuffer.clear();
    }
    TDurableFile FFile;
    QByteArray FBuffer;
};

}  // namespace Duplicate
