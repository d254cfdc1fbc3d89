// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of host names and their Windows paths: a name the listing offers maps back
// to exactly its own file, also beside names that Win32 reads the same ("b." and "b"), and the
// deletion service never takes the shown path of a name it does not offer for another file.
#include "FuzzCheck.h"

#include "platform/DriveMap.h"
#include "platform/WinFiles.h"
#include "shell/FileDelThds.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // C: is a folder of the run; the input's names (cut at NULs and "/") become its files.
    static const TDriveMap drives = [] {
        const QString root = Fuzz::Folder();
        QDir().mkpath(root + QStringLiteral("/drive_c"));
        QDir().mkpath(root + QStringLiteral("/dosdevices"));
        QFile::link(QStringLiteral("../drive_c"), root + QStringLiteral("/dosdevices/c:"));
        return TDriveMap::FromFolder(root + QStringLiteral("/dosdevices"), root);
    }();
    const QByteArray folder = QFile::encodeName(Fuzz::Folder() + QStringLiteral("/drive_c/t"));
    std::filesystem::remove_all(folder.toStdString());
    FUZZ_CHECK(::mkdir(folder.constData(), 0700) == 0);
    QByteArray input = Fuzz::Bytes(data, size);
    input.replace('/', '\0');
    int made = 0;
    for (const QByteArray &name : input.split('\0')) {
        if (name.isEmpty() || name == "." || name == ".." || name.size() > 200 || ++made > 12)
            continue;
        const int fd = ::open((folder + '/' + name).constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
    }

    THostDeletionLayer layer(drives, Fuzz::Folder() + QStringLiteral("/Trash"));
    QList<TSearchRec> faulted;
    const QList<TSearchRec> listed = HostFiles::ListFolder(QFile::decodeName(folder), &faulted);
    for (const TSearchRec &entry : listed) {
        const QString windows = QStringLiteral("C:\\t\\") + entry.Name;
        FUZZ_CHECK(drives.ToWindows(entry.HostPath) == windows);
        const TPathMapping back = drives.ToHost(windows);
        FUZZ_CHECK(back.State == TPathState::Resolved && back.HostPath == entry.HostPath);
        FUZZ_CHECK(layer.Resolve(windows) == QFileInfo(entry.HostPath).canonicalFilePath());
    }
    for (const TSearchRec &entry : faulted) {
        FUZZ_CHECK(entry.HostPath.isEmpty() || drives.ToWindows(entry.HostPath).isEmpty());
        FUZZ_CHECK(layer.Resolve(QStringLiteral("C:\\t\\") + entry.Name).isEmpty());
    }
    return 0;
}
