// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: small helpers of the drive-map and file-layer tests: files by host path, readable QString failures.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <ostream>

// gtest finds this through the argument's (global) namespace.
inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace FileFixtures {

inline bool MakeFile(const QString &path, const QByteArray &data = "x")
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

}  // namespace FileFixtures
