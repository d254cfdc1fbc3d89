// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of "Vaskimo.upd": any file reads, versions compare, and no address in it (nor a
// Content-Disposition of that text) names a download outside the update folder or one of the program's own files.
#include "FuzzCheck.h"

#include "net/UpdateInfo.h"

using namespace UpdateInfo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const TUpdateInfo info = ReadUpdateInfo(Fuzz::WriteFile(InfoFileName, Fuzz::Bytes(data, size)));
    const TComparison c = CompareVersions(QStringLiteral("2.1.0.0"), info.Version, QStringLiteral("Release 7"),
                                          info.Blacklist);
    FUZZ_CHECK(!c.NewProgram || ParseProgramVersion(info.Version));
    FUZZ_CHECK(!c.NewBlacklist || ParseRelease(info.Blacklist));
    FUZZ_CHECK(ResultFor(c) >= urNothingNew && ResultFor(c) <= urBoth);
    for (const QString &url : {info.UpdateURL, info.ReadmeURL, info.BlackDownloadURL, info.Details}) {
        for (const QString &name : {DownloadFileName(url), DispositionFileName(url), ProgramFileName(url, url, url)}) {
            if (name.isEmpty())
                continue;
            FUZZ_CHECK(!name.contains(u'/') && !name.contains(u'\\') && !name.contains(u':'));
            FUZZ_CHECK(name != u"." && name != u"..");
            FUZZ_CHECK(name.compare(InfoFileName, Qt::CaseInsensitive) != 0
                       && name.compare(BlacklistFileName, Qt::CaseInsensitive) != 0
                       && name.compare(QStringLiteral("Options.ini"), Qt::CaseInsensitive) != 0);
            for (const QChar ch : name)
                FUZZ_CHECK(ch.unicode() >= 0x20);
        }
    }
    return 0;
}
