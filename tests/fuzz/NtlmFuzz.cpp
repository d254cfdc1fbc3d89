// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of the NTLM challenge (type 2) reader: any message is read or refused within its bytes.
#include "FuzzCheck.h"

#include "net/IcsNtlmMsgs.h"
#include "net/MimeUtil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray message = Fuzz::Bytes(data, size);
    // The message as a server sends it (Base64), and the bytes taken as the header's text itself.
    for (const QString &text : {EncodeBase64Text(message), QString::fromLatin1(message)}) {
        const TNtlmChallengeInfo info = ParseNtlmChallenge(text);
        FUZZ_CHECK(info.Challenge.size() == 8);
        const qsizetype most = DecodeBase64Text(text).size();
        FUZZ_CHECK(info.Domain.size() <= most && info.Server.size() <= most && info.ServerDomain.size() <= most);
        if (info.Valid)
            FUZZ_CHECK(!BuildNtlmAuthenticate(info.Domain, QStringLiteral("HOST"), QStringLiteral("user"),
                                              QStringLiteral("secret"), info.Challenge)
                            .isEmpty());
    }
    return 0;
}
