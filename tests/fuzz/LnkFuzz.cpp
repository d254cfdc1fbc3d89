// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of shortcut files: any file is read or refused, what the file reader takes
// is a target without quotes, and the strings a link holds, written again into a link of
// Microsoft's published layout, read back as they were.
#include "FuzzCheck.h"

#include "../files/LnkBuilder.h"
#include "platform/LnkReader.h"

namespace {

// A text the link information's 8-bit base path holds as it is.
bool PlainAscii(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = Fuzz::Bytes(data, size);
    for (const int codePage : {1252, 1251, 932}) {
        TShellLink link;
        if (!LnkReader::Parse(bytes, &link, codePage))
            continue;
        link.TargetPath();
        LnkBuilder::TLink again;
        again.Target = PlainAscii(link.LocalBasePath) ? link.LocalBasePath : QStringLiteral("C:\\t.exe");
        again.WorkingDir = link.WorkingDir;
        again.Arguments = link.Arguments;
        again.Description = link.Name;
        again.IconLocation = link.IconLocation;
        again.IconIndex = link.IconIndex;
        TShellLink reread;
        FUZZ_CHECK(LnkReader::Parse(LnkBuilder::WithLinkInfo(again), &reread, 1252));
        FUZZ_CHECK(reread.LocalBasePath == again.Target && reread.WorkingDir == again.WorkingDir
                   && reread.Arguments == again.Arguments && reread.Name == again.Description
                   && reread.IconLocation == again.IconLocation && reread.IconIndex == again.IconIndex);
    }
    TShellLinkInfo info;
    const bool taken = LnkReader::ReadShellLinkInfo(Fuzz::WriteFile(QStringLiteral("fuzz.lnk"), bytes), info);
    if (taken) {
        FUZZ_CHECK(!info.Target.trimmed().isEmpty());
        FUZZ_CHECK(!info.Target.contains(u'"'));
    }
    return 0;
}
