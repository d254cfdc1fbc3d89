// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the reader of "Duplicat.log".
#include "files/DuplicateLog.h"

#include "platform/CodePage.h"
#include "platform/DriveMap.h"

#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>

namespace Duplicate {

namespace {
constexpr qsizetype LinesPerFile = 7;
const QByteArray Utf8Mark = QByteArrayLiteral("\xEF\xBB\xBF");

// The reload maps a path by its text; a ".." or "/" would lead it out of the drive, and a name
// Win32 reads otherwise would name another file to the deletion than the one checked here.
bool NamesItsFileExactly(const QString &windowsPath)
{
    if (windowsPath.size() < 4 || windowsPath[1] != u':' || windowsPath[2] != u'\\')
        return false;
    const QStringList names = windowsPath.mid(3).split(u'\\');
    // "." and ".." end in a dot; "?" stands where the code page had no character.
    return std::all_of(names.cbegin(), names.cend(),
                       [](const QString &name) { return TDriveMap::NameFault(name) == TNameFault::None; });
}
}

QByteArray LogBytes(const QStringList &lines, int codePage)
{
    const QString text = lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    bool lossless = false;
    const QByteArray ansi = EncodeAnsi(text, codePage, &lossless);
    // In code page 65001 a text starting with U+FEFF would read as marked: it gets the mark too.
    return lossless && !ansi.startsWith(Utf8Mark) ? ansi : Utf8Mark + text.toUtf8();
}

QStringList LogLines(const QByteArray &bytes, int codePage)
{
    if (!bytes.startsWith(Utf8Mark))
        return DecodeAnsi(bytes, codePage).split(QStringLiteral("\r\n"));
    // Only the one mark LogBytes wrote goes: a name may start with U+FEFF too.
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    const QString text = utf8(bytes.mid(Utf8Mark.size()));
    return text.split(QStringLiteral("\r\n"));
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

TOldLog ReadOldLog(const QByteArray &bytes, int codePage, const QString &notAvailable, const TUserLocale &locale,
                   const std::function<QString(const QString &windowsPath)> &hostPathOf)
{
    TOldLog log;
    const QStringList lines = LogLines(bytes, codePage);
    log.Created = lines.value(1).trimmed();
    for (const TFoundFile &f : ReadLog(lines, notAvailable).Files) {
        const QString path = f.Folder + u'\\' + f.Name;
        // A file that is gone, or no longer the file that was compared, is no duplicate now. A
        // "?" stands where the code page had no character for the name: it names no file of ours.
        const QString host = NamesItsFileExactly(path) ? hostPathOf(path) : QString();
        const QFileInfo info(host);
        if (host.isEmpty() || !info.isFile() || info.size() != f.Size
            || DateText(DateTimeToFileDate(info.lastModified()), locale) != f.DateText)
            ++log.Dropped;
        else
            log.Files.append(f);
    }
    return log;
}

}  // namespace Duplicate
