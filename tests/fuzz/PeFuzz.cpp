// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of the version resource reader: any image is read or refused, and every
// table key, name and value it gives stands in the input as the UTF-16 text it was read from.
#include "FuzzCheck.h"

#include "platform/PeReader.h"

namespace {

bool Holds(const QByteArray &input, const QString &text)
{
    if (text.isEmpty())
        return true;
    QByteArray utf16;
    for (QChar c : text)
        utf16.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    return input.contains(utf16);
}

void CheckInfo(const TVersionInfo &info, const QByteArray &input)
{
    for (const TVersionInfo::TStringTable &table : info.StringTables) {
        FUZZ_CHECK(Holds(input, table.Key));
        for (const auto &[name, value] : table.Strings) {
            FUZZ_CHECK(Holds(input, name) && Holds(input, value));
            FUZZ_CHECK(Holds(input, info.Value(table.Key, name)));
        }
    }
    FUZZ_CHECK(Holds(input, info.TranslatedValue(QStringLiteral("FileVersion"))));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = Fuzz::Bytes(data, size);
    TVersionInfo image;
    if (PeReader::ReadVersionInfo(bytes, &image))
        CheckInfo(image, bytes);
    TVersionInfo block;
    if (PeReader::ParseVersionBlock(bytes, &block))
        CheckInfo(block, bytes);
    return 0;
}
