// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of the version-resource reader: any image or block is read or refused within its bytes.
#include "FuzzCheck.h"

#include "platform/PeReader.h"

namespace {

void CheckInfo(const TVersionInfo &info, qsizetype inputSize)
{
    for (const TVersionInfo::TStringTable &table : info.StringTables) {
        FUZZ_CHECK(table.Key.size() <= inputSize / 2);
        for (const auto &[name, value] : table.Strings) {
            FUZZ_CHECK(name.size() <= inputSize / 2 && value.size() <= inputSize / 2);
            FUZZ_CHECK(info.Value(table.Key, name).size() <= inputSize / 2);
        }
    }
    FUZZ_CHECK(info.TranslatedValue(QStringLiteral("FileVersion")).size() <= inputSize / 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = Fuzz::Bytes(data, size);
    TVersionInfo image;
    if (PeReader::ReadVersionInfo(bytes, &image))
        CheckInfo(image, bytes.size());
    TVersionInfo block;
    if (PeReader::ParseVersionBlock(bytes, &block))
        CheckInfo(block, bytes.size());
    return 0;
}
