// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the reader of "Duplicat.log".
#include "files/DuplicateLog.h"

namespace Duplicate {

namespace {
constexpr qsizetype LinesPerFile = 7;
}

TLogContent ReadLog(const QStringList &lines, const QString &notAvailable)
{
    TLogContent content;
    bool groupsOk = false, rowsOk = false;
    const int groups = lines.size() >= 4 ? lines.at(2).toInt(&groupsOk) : 0;
    const int rows = lines.size() >= 4 ? lines.at(3).toInt(&rowsOk) : 0;
    if (!groupsOk || !rowsOk || groups < 0 || rows < groups) {
        content.Damaged = true;
        return content;
    }
    const qsizetype announced = rows - groups;
    const qsizetype held = (lines.size() - 4) / LinesPerFile;
    for (qsizetype i = 0; i < qMin(announced, held); ++i) {
        const qsizetype at = 4 + i * LinesPerFile;
        bool sizeOk = false, setOk = false;
        TFoundFile f;
        const QString &path = lines.at(at);
        f.Size = lines.at(at + 1).toLongLong(&sizeOk);
        f.DateText = lines.at(at + 2);
        f.AttrText = lines.at(at + 3);
        f.CRCText = lines.at(at + 4) == notAvailable ? QString() : lines.at(at + 4);
        f.MD5Text = lines.at(at + 5) == notAvailable ? QString() : lines.at(at + 5);
        f.SetNumber = lines.at(at + 6).toLongLong(&setOk);
        const qsizetype slash = path.lastIndexOf(u'\\');
        if (!sizeOk || !setOk || slash < 0)
            break;
        f.Folder = path.left(slash);
        f.Name = path.mid(slash + 1);
        content.Files.append(f);
    }
    return content;
}

}  // namespace Duplicate
