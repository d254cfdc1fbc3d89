// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of the add/remove value editor's binary text: bytes shown as text read back
// as the same bytes, and any text it takes, shown again, reads back the same.
#include "FuzzCheck.h"

#include "registry/LisaaPoista.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = Fuzz::Bytes(data, size);
    QByteArray back;
    FUZZ_CHECK(TLisaaPoistaIkkuna::ParseBinaryText(TLisaaPoistaIkkuna::BinaryText(bytes), &back));
    FUZZ_CHECK(back == bytes);

    QByteArray taken;
    if (!TLisaaPoistaIkkuna::ParseBinaryText(QString::fromUtf8(bytes), &taken))
        return 0;
    QByteArray again;
    const QString shown = TLisaaPoistaIkkuna::BinaryText(taken);
    FUZZ_CHECK(TLisaaPoistaIkkuna::ParseBinaryText(shown, &again) && again == taken);
    FUZZ_CHECK(TLisaaPoistaIkkuna::BinaryText(again) == shown);
    return 0;
}
