// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of "Duplicat.log": its bytes read in a real code page, written again and read
// back give the same lines; the files it announces are read as far as they go, and a reload keeps
// only what is still a file of the logged size and date, at the host path its Windows path names.
#include "FuzzCheck.h"

#include "files/DuplicateLog.h"
#include "platform/DriveMap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::TInput input(data, size);
    static const int codePages[] = {1252, 1251, 932, 65001};
    const int codePage = codePages[input.Byte() % 4];
    const QByteArray bytes = input.Rest();
    const QStringList lines = Duplicate::LogLines(bytes, codePage);
    // Each line ends with CR LF: the lines written read back with an empty one after them.
    FUZZ_CHECK(Duplicate::LogLines(Duplicate::LogBytes(lines, codePage), codePage) == lines + QStringList{QString()});

    const Duplicate::TLogContent log = Duplicate::ReadLog(lines, QStringLiteral("N/A"));
    FUZZ_CHECK(!log.Damaged || log.Files.isEmpty());
    if (log.Files.isEmpty())
        return 0;
    FUZZ_CHECK(log.Files.size() <= (lines.size() - 4) / 7);
    FUZZ_CHECK(log.Files.size() <= qint64(lines.at(3).toInt()) - lines.at(2).toInt());
    for (const Duplicate::TFoundFile &f : log.Files)
        FUZZ_CHECK(!f.Name.contains(u'\\') && f.CRCText != u"N/A" && f.MD5Text != u"N/A");

    // C: is a folder of the run holding files of three bytes, "b." beside "b", dated as logs say.
    static const TDriveMap drives = [] {
        const QDateTime logged(QDate(2026, 12, 10), QTime(9, 0));
        for (const char *folder : {"c/b", "c/b.", "dosdevices"})
            FUZZ_CHECK(QDir(Fuzz::Folder()).mkpath(QLatin1String(folder)));
        for (const char *name : {"c/a.txt", "c/b/a.txt", "c/b./a.txt"}) {
            QFile file(Fuzz::WriteFile(QLatin1String(name), "abc"));
            FUZZ_CHECK(file.open(QIODevice::ReadWrite) && file.setFileTime(logged, QFileDevice::FileModificationTime));
        }
        QFile::link(Fuzz::Folder() + QStringLiteral("/c"), Fuzz::Folder() + QStringLiteral("/dosdevices/c:"));
        return TDriveMap::FromFolder(Fuzz::Folder() + QStringLiteral("/dosdevices"), Fuzz::Folder());
    }();
    const auto hostPathOf = [](const QString &path) {
        const QString root = drives.HostRoot(path.at(0).toUpper());
        return root.isEmpty() || path.at(1) != u':' ? QString() : Duplicate::HostPathOf(root, path);
    };
    const Duplicate::TOldLog old = Duplicate::ReadOldLog(bytes, codePage, QStringLiteral("N/A"), TUserLocale(), hostPathOf);
    FUZZ_CHECK(old.Files.size() + old.Dropped == log.Files.size());
    for (const Duplicate::TFoundFile &f : old.Files) {
        // The deletion maps the path as Win32 reads it: it must reach the file that was checked.
        const QString path = f.Folder + u'\\' + f.Name;
        const QFileInfo info(hostPathOf(path));
        FUZZ_CHECK(info.isFile() && info.size() == f.Size);
        const TPathMapping mapping = drives.ToHost(path);
        FUZZ_CHECK(mapping.State == TPathState::Resolved && mapping.HostPath == info.filePath());
    }
    return 0;
}
