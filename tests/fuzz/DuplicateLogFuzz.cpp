// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of "Duplicat.log": its bytes read in a real code page, written again and read
// back give the same lines; the files it announces are read as far as they go, and a reload keeps
// only what is still a file of the logged size, at the host path its Windows path maps to.
#include "FuzzCheck.h"

#include "files/DuplicateLog.h"

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

    // C: is a folder of the run holding one file of three bytes.
    static const QString drive = [] {
        Fuzz::WriteFile(QStringLiteral("a.txt"), "abc");
        return Fuzz::Folder();
    }();
    const auto hostPathOf = [](const QString &path) {
        return path.startsWith(QStringLiteral("C:\\"), Qt::CaseInsensitive) ? drive + u'/' + path.mid(3).replace(u'\\', u'/')
                                                                             : QString();
    };
    const Duplicate::TOldLog old = Duplicate::ReadOldLog(bytes, codePage, QStringLiteral("N/A"), TUserLocale(), hostPathOf);
    FUZZ_CHECK(old.Files.size() + old.Dropped == log.Files.size());
    for (const Duplicate::TFoundFile &f : old.Files) {
        const QFileInfo info(hostPathOf(f.Folder + u'\\' + f.Name));
        FUZZ_CHECK(info.isFile() && info.size() == f.Size);
    }
    return 0;
}
