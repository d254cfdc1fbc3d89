// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a test's own copy of the demo prefix, for the tests that run the program on it and change it.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace TestSupport {

// Copies examples/demo-prefix, links and all, to `to` (not there yet); cp's exit code, 0 when copied.
inline int CopyDemoPrefix(const QString &to)
{
    return QProcess::execute(QStringLiteral("cp"),
                             {QStringLiteral("-a"), QStringLiteral(VASKIMO_FIXTURES "/../../examples/demo-prefix"), to});
}

// Two equal sparse files of size ("64G") on the prefix's C:, "big1.bin" and "big2.bin", whose
// comparison takes long. They get one modification time: the duplicate finder's key holds the
// date, and two files made a moment apart may fall into two seconds. True when made.
inline bool AddEqualSparseFiles(const QString &prefix, const QString &size)
{
    const QString big1 = prefix + QStringLiteral("/drive_c/big1.bin"), big2 = prefix + QStringLiteral("/drive_c/big2.bin");
    return QProcess::execute(QStringLiteral("truncate"), {QStringLiteral("-s"), size, big1, big2}) == 0
           && QProcess::execute(QStringLiteral("touch"), {QStringLiteral("-r"), big1, big2}) == 0;
}

}  // namespace TestSupport
