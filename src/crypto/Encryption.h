// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the proxy password's encryption, so that "Options.ini" never holds it in plain text.
//
// The key is the SHA-1 digest of the pass phrase (a 192-bit Twofish key: the digest and four zero
// bytes); the vector is the encipherment of the zero block; the bytes are enciphered with CFB-8,
// so the length never changes and the same password always gives the same text.
#pragma once

#include <QByteArray>
#include <QString>

// The pass phrase built into the program.
QByteArray ProxyPassPhrase();

QByteArray HashPassPhrase(const QByteArray &passPhrase);  // 20 bytes
void EncryptString(const QByteArray &passPhrase, QByteArray &s);
void DecryptString(const QByteArray &passPhrase, QByteArray &s);

// [Update] "Proxy password": the Base64 text of the enciphered password bytes in the ANSI code
// page (codePage 0: the current prefix's). Any failure gives an empty text: a password the code
// page cannot hold is not stored, and an unreadable stored value reads as no password, without a message.
QString ProxyPasswordToSetting(const QString &password, int codePage = 0);
QString ProxyPasswordFromSetting(const QString &stored, int codePage = 0);
