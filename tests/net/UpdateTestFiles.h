// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: small files for the update tests, written and read whole.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace UpdateTestSupport {

inline void WriteFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// The start of a Windows program, written by hand: "MZ", the offset 0x80 at 0x3C, "PE\0\0" there;
// filler up to size bytes.
inline QByteArray WindowsProgram(qsizetype size, char filler = 'x')
{
    QByteArray bytes(qMax<qsizetype>(size, 0x84), filler);
    bytes.replace(0, 2, "MZ");
    bytes.replace(0x3C, 4, QByteArray("\x80\0\0\0", 4));
    bytes.replace(0x80, 4, QByteArray("PE\0\0", 4));
    return bytes;
}

inline QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace UpdateTestSupport
