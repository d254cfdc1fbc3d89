// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: URL splitting (absolute, scheme-less, path-only, relative to a base), n-th substring search, hex digits.
#pragma once

#include <QChar>
#include <QString>

// Splits Url into its parts. Every output but Path starts empty; Path holds on entry the base path
// that a URL beginning "./" or "../" is resolved against, and receives the URL's path (it may begin
// with "?"). Port stays empty when the URL names none (the HTTP client uses "80"); scheme and host are
// not validated and a malformed URL only yields partial or empty parts. "//host/path" is a network
// path: Host "host", Path "/path". The port separator is the authority's last ":", so a bracketed
// IPv6 address needs a port.
void SplitUrl(const QString &Url, QString &Proto, QString &User, QString &Pass, QString &Host, QString &Port,
              QString &Path);

// 1-based position of the N-th occurrence of Sub in S, counted from the left for N > 0 and from the
// right for N < 0 (-1 is the last one); 0 when S holds fewer occurrences, for N = 0 and for an empty Sub.
// Occurrences may overlap: the 2nd "aa" of "aaaa" is at 2.
int FindNthOccurrence(const QString &Sub, const QString &S, int N);

// "0"-"9", "a"-"f", "A"-"F".
bool IsHexDigit(char Ch);
bool IsHexDigit(QChar Ch);
// 0-9 for a digit, 10-15 for "a"/"A" ... "f"/"F"; meaningful only where IsHexDigit holds.
int HexDigitValue(char Ch);
int HexDigitValue(QChar Ch);
