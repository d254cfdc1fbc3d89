// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: NTLM v1 negotiate, challenge and authenticate messages as Base64 text, and their responses.
#pragma once

#include <QByteArray>
#include <QString>

// What a challenge (type-2) message says. Challenge always holds 8 bytes (zero while not Valid).
struct TNtlmChallengeInfo
{
    bool Valid = false;
    QString Domain;        // the target name
    QString Server;        // target information attribute 1 (NetBIOS computer name)
    QString ServerDomain;  // target information attribute 2 (NetBIOS domain name)
    QByteArray Challenge = QByteArray(8, '\0');
};

// Base64 of the negotiate message; the names are upper-cased. Two empty names give the fixed
// 32 bytes "TlRMTVNTUAABAAAAB4IAAAAAAAAAAAAAAAAAAAAAAAA=".
QString BuildNtlmNegotiate(const QString &Host, const QString &Domain);

// Decodes the Base64 text of a challenge message. Valid is false for a text that is no challenge
// message (too short to hold the challenge, another signature or message type); names whose
// offset or length point outside the message stay empty.
TNtlmChallengeInfo ParseNtlmChallenge(const QString &Base64Text);

// Base64 of the authenticate message with the LM and NT responses to Challenge (8 bytes; a shorter
// one is padded with zero bytes). Domain, host and user are sent as Unicode, case kept; the LM
// response hashes the password's bytes in the ANSI code page.
QString BuildNtlmAuthenticate(const QString &Domain, const QString &Host, const QString &User,
                              const QString &Password, const QByteArray &Challenge, int CodePage = 1252);

// 24 bytes each. The LM password is upper-cased, then written in the ANSI code page (a character
// it has no byte for counts as "?", as Windows writes it); the NT password is UTF-16 as it stands.
QByteArray LmResponse(const QString &Password, const QByteArray &Challenge, int CodePage = 1252);
QByteArray NtResponse(const QString &Password, const QByteArray &Challenge);
// DES encryption of Data8 under the 56-bit key Key7 spread over 8 bytes (7 bits each, parity 0).
QByteArray DesWith7ByteKey(const QByteArray &Key7, const QByteArray &Data8);
// The Unicode form of a name, UTF-16 little-endian: a Latin-1 character becomes its byte and a zero byte.
// The negotiate message's 8-bit names are Latin-1.
QByteArray ToUnicodeBytes(const QString &Text);
