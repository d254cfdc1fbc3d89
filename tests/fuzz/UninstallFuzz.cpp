// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of the uninstall command's splitting, whose result is run: the words quoted
// again split into the same words, and what goes to wine is the split command, behind "start"
// exactly when it names rundll32, whose program start never reads as one of its own switches.
#include "FuzzCheck.h"

#include "platform/WinePrefix.h"
#include "registry/LisaaPoistaThds.h"

#include <memory>

namespace {

// Each word in double quotes, a quote inside as \", the backslashes it ends with after the
// closing quote (where none of them can be read as escaping it).
QString Quoted(const QStringList &words)
{
    QStringList parts;
    for (const QString &word : words) {
        qsizetype keep = word.size();
        while (keep > 0 && word.at(keep - 1) == u'\\')
            --keep;
        QString inner = word.left(keep);
        inner.replace(QStringLiteral("\""), QStringLiteral("\\\""));
        parts << u'"' + inner + u'"' + word.mid(keep);
    }
    return parts.join(u' ');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString command = QString::fromUtf8(Fuzz::Bytes(data, size));
    // A prefix with no drives: no run of words names a file, unless through Z:.
    static const auto prefix = std::make_shared<TWinePrefix>(Fuzz::Folder());
    const QStringList words = AddRemove::SplitCommandLine(command, prefix);
    FUZZ_CHECK(AddRemove::SplitCommandLine(Quoted(words), prefix) == words);

    const QStringList arguments = AddRemove::WineArguments(command, prefix);
    if (arguments.isEmpty())
        return 0;
    const bool shell = command.contains(QStringLiteral("rundll32"));
    FUZZ_CHECK(arguments == (shell ? QStringList{QStringLiteral("start")} + words : words));
    if (shell)
        FUZZ_CHECK(arguments.size() < 2 || !arguments.at(1).startsWith(u'/'));
    return 0;
}
