// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of help files: any file opens or is refused in bounded time and memory,
// and every object it lists can be looked up.
#include "FuzzCheck.h"

#include "help/ChmFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TChmFile chm(Fuzz::WriteFile(QStringLiteral("help.chm"), Fuzz::Bytes(data, size)));
    if (!chm.IsOpen())
        return 0;
    const QStringList objects = chm.Objects();
    chm.Title();
    const QString topic = chm.DefaultTopic();
    FUZZ_CHECK(topic.isEmpty() || chm.Contains(topic));
    for (const QString &topic : chm.ContextMap())
        chm.Read(topic);
    for (qsizetype i = 0; i < objects.size() && i < 16; ++i) {
        const std::optional<QByteArray> object = chm.Read(objects.at(i));
        FUZZ_CHECK(!object || object->size() <= TChmFile::MaxObjectSize);
    }
    return 0;
}
