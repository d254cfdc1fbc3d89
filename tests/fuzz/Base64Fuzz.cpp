// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of the two Base64 decoders (the stored proxy password, the NTLM messages).
#include "FuzzCheck.h"

#include "crypto/Base64.h"
#include "crypto/CryptTools.h"
#include "net/MimeUtil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = Fuzz::Bytes(data, size);
    // Any bytes encode, and the text decodes back to them.
    FUZZ_CHECK(Base64Decode(Base64Encode(bytes)) == bytes);
    FUZZ_CHECK(DecodeBase64Text(EncodeBase64Text(bytes)) == bytes);

    // Any text decodes or is refused, never more than three bytes a group.
    const QString text = QString::fromLatin1(bytes);
    try {
        FUZZ_CHECK(Base64Decode(text).size() <= text.size() / 4 * 3);
    } catch (const ECryptoError &) {
        FUZZ_CHECK(text.size() % 4 != 0);
    }
    FUZZ_CHECK(DecodeBase64Text(text).size() <= (text.size() + 3) / 4 * 3);
    return 0;
}
