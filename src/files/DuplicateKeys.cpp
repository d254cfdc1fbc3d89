// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the duplicate finder's key lines and the texts of their fields.
#include "DuplicateKeys.h"

#include "platform/WinFiles.h"

#include <algorithm>

namespace Duplicate {

namespace {

void AppendHex(QString &text, quint64 value, int digits)
{
    static const char hex[] = "0123456789ABCDEF";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        text.append(QLatin1Char(hex[(value >> shift) & 15]));
}

bool ParseHex(QStringView text, quint64 &value)
{
    if (text.isEmpty())
        return false;
    value = 0;
    for (QChar c : text) {
        const int digit = c.isDigit() ? c.unicode() - '0'
                          : (c >= u'A' && c <= u'F') ? c.unicode() - 'A' + 10
                          : (c >= u'a' && c <= u'f') ? c.unicode() - 'a' + 10
                                                     : -1;
        if (digit < 0)
            return false;
        value = value << 4 | quint64(digit);
    }
    return true;
}

}  // namespace

QString MakeKeyLine(const TKeyFields &f, bool sameSize, bool sameDate)
{
    QString line;
    line.reserve(f.Name.size() + f.Folder.size() + 2 + SizeDigits + DateDigits + AttrDigits);
    if (sameSize)
        AppendHex(line, quint64(f.Size), SizeDigits);
    if (sameDate)
        AppendHex(line, f.Date, DateDigits);
    line += f.Name;
    line += u'?';
    line += f.Folder;
    line += u'*';
    if (!sameSize)
        AppendHex(line, quint64(f.Size), SizeDigits);
    if (!sameDate)
        AppendHex(line, f.Date, DateDigits);
    AppendHex(line, f.Attr, AttrDigits);
    return line;
}

bool ParseKeyLine(QStringView line, bool sameSize, bool sameDate, TKeyFields &f)
{
    const qsizetype head = (sameSize ? SizeDigits : 0) + (sameDate ? DateDigits : 0);
    const qsizetype tail = (sameSize ? 0 : SizeDigits) + (sameDate ? 0 : DateDigits) + AttrDigits;
    const qsizetype question = line.indexOf(u'?', head);
    const qsizetype star = question < 0 ? -1 : line.indexOf(u'*', question + 1);
    if (question <= head || star < 0 || line.size() - star - 1 != tail)
        return false;
    quint64 size = 0, date = 0, attr = 0;
    qsizetype pos = 0, back = star + 1;
    const auto take = [&](bool inHead, int digits, quint64 &value) {
        qsizetype &at = inHead ? pos : back;
        const bool ok = ParseHex(line.mid(at, digits), value);
        at += digits;
        return ok;
    };
    if (!(sameSize ? take(true, SizeDigits, size) : true) || !(sameDate ? take(true, DateDigits, date) : true)
        || !(sameSize ? true : take(false, SizeDigits, size))
        || !(sameDate ? true : take(false, DateDigits, date)) || !take(false, AttrDigits, attr))
        return false;
    f.Name = line.mid(head, question - head).toString();
    f.Folder = line.mid(question + 1, star - question - 1).toString();
    f.Size = qint64(size);
    f.Date = quint32(date);
    f.Attr = quint32(attr);
    return true;
}

int CompareKeyLines(QStringView a, QStringView b)
{
    const int folded = a.compare(b, Qt::CaseInsensitive);
    return folded != 0 ? folded : a.compare(b, Qt::CaseSensitive);
}

qsizetype GroupKeyLength(QStringView line, bool sameName, bool sameSize, bool sameDate)
{
    const qsizetype head = (sameSize ? SizeDigits : 0) + (sameDate ? DateDigits : 0);
    if (!sameName)
        return std::min(head, line.size());
    const qsizetype question = line.indexOf(u'?', head);
    return question < 0 ? line.size() : question + 1;
}

QString AttrText(quint32 attr)
{
    QString text;
    if (attr & FileAttr::ReadOnly)
        text += QStringLiteral(" R");
    if (attr & FileAttr::Hidden)
        text += QStringLiteral(" H");
    if (attr & FileAttr::System)
        text += QStringLiteral(" S");
    if (attr & FileAttr::Archive)
        text += QStringLiteral(" A");
    return text.mid(1);
}

QString DateText(quint32 dosDate, const TUserLocale &locale)
{
    // The stamp's fields as they stand: a QDateTime would read the time zone for every file.
    const TLocalTime t = FileDateFields(dosDate);
    return locale.DateTime(t.Date, t.Time);
}

}  // namespace Duplicate
