// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of the blacklist file: its version reads the same through the update tool's
// reader, and each skip list holds every item of the user's text and the file's, as comma text
// splits them.
#include "FuzzCheck.h"

#include "net/UpdateInfo.h"
#include "platform/CommaText.h"
#include "registry/Blacklist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::WriteFile(UpdateInfo::BlacklistFileName, Fuzz::Bytes(data, size));
    const QString folder = Fuzz::Folder() + u'/';
    const QString version = Blacklist::Version(folder);
    FUZZ_CHECK(version == UpdateInfo::BlacklistVersion(Blacklist::FilePath(folder)));
    UpdateInfo::ParseRelease(version);
    for (const QString &key : {QStringLiteral("Registry"), QStringLiteral("Unnecessary")}) {
        const QString text = Blacklist::KeyText(folder, key);
        for (const QString &user : {QString(), QStringLiteral("\"C:\\My Files\",*.bak")}) {
            const TSortedStringList skip = Blacklist::SkipList(user, text);
            FUZZ_CHECK(skip.Count() <= text.size() + user.size() + 2);
            // The value starts with its delimiter; the user's text goes in front of it.
            for (const QString &item : CommaTextToList(user.isEmpty() ? text.mid(1) : user + text))
                FUZZ_CHECK(skip.IndexOf(item) >= 0);
        }
    }
    return 0;
}
