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

}  // namespace TestSupport
