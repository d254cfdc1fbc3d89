// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the threads this process runs now, for tests that a worker's thread has ended.
#pragma once

#include <QDir>
#include <QFile>
#include <QString>

namespace TestSupport {

// The threads whose name is name (a QThread takes its object name, else its class name; the kernel
// keeps 15 characters of it), or all of them when name is empty. A joined thread leaves /proc a
// moment after its join returned: compare through a short wait.
inline int ThreadCount(const QString &name = {})
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    int count = 0;
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!name.isEmpty()) {
            QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
            if (!comm.open(QIODevice::ReadOnly) || QString::fromUtf8(comm.readAll().trimmed()) != name.left(15))
                continue;
        }
        ++count;
    }
    return count;
}

}  // namespace TestSupport
