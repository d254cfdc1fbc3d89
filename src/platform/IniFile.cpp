// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the INI engine: parsing that keeps every line's bytes, profile-style edits, atomic saving.
#include "platform/IniFile.h"

#include "platform/CodePage.h"
#include "platform/DurableFile.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <sys/stat.h>

namespace {

bool IsBlank(QChar c) { return c.unicode() <= 0x20; }

QString Trimmed(const QString &s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && IsBlank(s.at(begin)))
        ++begin;
    while (end > begin && IsBlank(s.at(end - 1)))
        --end;
    return s.mid(begin, end - begin);
}

bool SameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString OneLine(QString s)
{
    s.replace(u'\r', u' ');
    s.replace(u'\n', u' ');
    return s;
}

// Splits at "\r\n", "\n" and a lone "\r"; the last piece is a line only when it is not empty.
template <typename TText, typename TAdd>
void SplitLines(const TText &text, TAdd add)
{
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const auto c = text.at(i);
        if (c != '\r' && c != '\n')
            continue;
        qsizetype endLength = 1;
        if (c == '\r' && i + 1 < n && text.at(i + 1) == '\n')
            endLength = 2;
        add(text.mid(start, i - start), text.mid(i, endLength));
        i += endLength - 1;
        start = i + 1;
    }
    if (start < n)
        add(text.mid(start), TText());
}

// The same on UTF-16LE bytes (of even length), the line ends given as the ASCII bytes they stand for.
template <typename TAdd>
void SplitUtf16Lines(const QByteArray &bytes, TAdd add)
{
    QByteArray line;
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; i += 2) {
        const char16_t c = char16_t(uchar(bytes[i]) | uchar(bytes[i + 1]) << 8);
        if (c != u'\r' && c != u'\n') {
            line += bytes.mid(i, 2);
            continue;
        }
        QByteArray end(1, char(c));
        if (c == u'\r' && i + 3 < n && bytes[i + 2] == '\n' && bytes[i + 3] == 0) {
            end += '\n';
            i += 2;
        }
        add(line, end);
        line.clear();
    }
    if (!line.isEmpty())
        add(line, QByteArray());
}

bool ParseInteger(const QString &text, int *value)
{
    const QString s = Trimmed(text);
    qsizetype i = 0;
    bool negative = false;
    if (i < s.size() && (s.at(i) == u'-' || s.at(i) == u'+'))
        negative = s.at(i++) == u'-';
    int base = 10;
    if (i < s.size() && s.at(i) == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s.at(i) == u'0' && (s.at(i + 1) == u'x' || s.at(i + 1) == u'X')) {
        base = 16;
        i += 2;
    }
    if (i == s.size())
        return false;
    quint64 magnitude = 0;
    for (; i < s.size(); ++i) {
        const char16_t c = s.at(i).unicode();
        const char16_t lower = c | 0x20;
        int digit = -1;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && lower >= u'a' && lower <= u'f')
            digit = 10 + (lower - u'a');
        if (digit < 0)
            return false;
        magnitude = magnitude * base + quint64(digit);
        if (magnitude > 0xFFFFFFFFULL)
            return false;
    }
    if (base == 10) {
        const qint64 v = negative ? -qint64(magnitude) : qint64(magnitude);
        if (v < INT32_MIN || v > INT32_MAX)
            return false;
        *value = int(v);
        return true;
    }
    // Hexadecimal takes all 32 bits, so "$FFFFFFFF" is -1.
    const quint32 bits = negative ? 0u - quint32(magnitude) : quint32(magnitude);
    *value = int(bits);
    return true;
}

}  // namespace

TIniFile::TIniFile(const QString &fileName, int codePage)
    : FFileName(fileName), FCodePage(codePage > 0 ? codePage : AnsiCodePage())
{
    Load();
}

void TIniFile::Load()
{
    QList<TLine> lines;
    QFile file(FFileName);
    if (!file.exists()) {
        Parse(lines);
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        FError = file.errorString();
        Parse(lines);
        return;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        FError = file.errorString();
        bytes.clear();
    }
    // Each line keeps its bytes, in whatever form: a line no write touches is saved as it was read,
    // even where it is no valid text of its encoding.
    if (bytes.startsWith("\xFF\xFE")) {
        FEncoding = TEncoding::Utf16LeBom;
        // An odd last byte is no character: it stays at the very end, behind any line a write adds.
        QByteArray units = bytes.mid(2);
        if (units.size() % 2) {
            FOddLastByte = units.right(1);
            units.chop(1);
        }
        SplitUtf16Lines(units, [&](const QByteArray &line, const QByteArray &end) {
            TLine l;
            l.Raw = line;
            l.End = end;
            for (qsizetype i = 0; i + 1 < line.size(); i += 2)
                l.Text += QChar(char16_t(uchar(line[i]) | uchar(line[i + 1]) << 8));
            lines.append(l);
        });
    } else {
        const bool utf8 = bytes.startsWith("\xEF\xBB\xBF");
        if (utf8)
            FEncoding = TEncoding::Utf8Bom;
        SplitLines(utf8 ? bytes.mid(3) : bytes, [&](const QByteArray &line, const QByteArray &end) {
            TLine l;
            l.Raw = line;
            l.End = end;
            l.Text = utf8 ? QString::fromUtf8(line) : DecodeAnsi(line, FCodePage);
            lines.append(l);
        });
    }
    Parse(lines);
}

void TIniFile::ParseKey(TLine &line)
{
    const qsizetype eq = line.Text.indexOf(u'=');
    line.IsKey = eq >= 0;
    if (!line.IsKey)
        return;
    line.Key = Trimmed(line.Text.left(eq));
    line.Value = Trimmed(line.Text.mid(eq + 1));
    if (line.Key.isEmpty())
        line.IsKey = false;
}

void TIniFile::Parse(const QList<TLine> &lines)
{
    FSections.clear();
    FSections.append(TSection());
    for (TLine line : lines) {
        const QString t = Trimmed(line.Text);
        if (t.startsWith(u'[')) {
            TSection section;
            section.HasHeader = true;
            const qsizetype close = t.lastIndexOf(u']');
            section.Name = Trimmed(close > 0 ? t.mid(1, close - 1) : t.mid(1));
            section.Header = line;
            FSections.append(section);
            continue;
        }
        if (!t.startsWith(u';'))
            ParseKey(line);
        FSections.last().Lines.append(line);
    }
}

const TIniFile::TLine *TIniFile::FindKey(const QString &section, const QString &key) const
{
    for (const TSection &s : FSections) {
        if (!s.HasHeader || !SameName(s.Name, section))
            continue;
        for (const TLine &line : s.Lines) {
            if (line.IsKey && SameName(line.Key, key))
                return &line;
        }
    }
    return nullptr;
}

TIniFile::TSection *TIniFile::FirstSection(const QString &section)
{
    for (TSection &s : FSections) {
        if (s.HasHeader && SameName(s.Name, section))
            return &s;
    }
    return nullptr;
}

QString TIniFile::ReadString(const QString &section, const QString &key, const QString &defaultValue) const
{
    const TLine *line = FindKey(section, key);
    return line ? line->Value : defaultValue;
}

int TIniFile::ReadInteger(const QString &section, const QString &key, int defaultValue) const
{
    const TLine *line = FindKey(section, key);
    int value = 0;
    return line && ParseInteger(line->Value, &value) ? value : defaultValue;
}

bool TIniFile::ReadBool(const QString &section, const QString &key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString &section, const QString &key, const QString &value)
{
    const QString name = Trimmed(OneLine(key));
    if (name.isEmpty())
        return;
    const QString text = OneLine(value);
    FModified = true;
    for (TSection &s : FSections) {
        if (!s.HasHeader || !SameName(s.Name, section))
            continue;
        for (TLine &line : s.Lines) {
            if (!line.IsKey || !SameName(line.Key, name))
                continue;
            // Keep the key as written and the blanks after "=": only the value changes.
            qsizetype valueStart = line.Text.indexOf(u'=') + 1;
            while (valueStart < line.Text.size() && IsBlank(line.Text.at(valueStart)))
                ++valueStart;
            line.Text = line.Text.left(valueStart) + text;
            line.Value = Trimmed(text);
            line.Changed = true;
            return;
        }
    }
    TLine line;
    line.Text = name + u'=' + text;
    line.End = "\r\n";
    line.Changed = true;
    ParseKey(line);
    if (TSection *s = FirstSection(section)) {
        qsizetype at = 0;
        for (qsizetype i = 0; i < s->Lines.size(); ++i) {
            if (s->Lines.at(i).IsKey)
                at = i + 1;
        }
        s->Lines.insert(at, line);
        return;
    }
    TSection added;
    added.HasHeader = true;
    added.Name = Trimmed(OneLine(section));
    added.Header.Text = u'[' + added.Name + u']';
    added.Header.End = "\r\n";
    added.Header.Changed = true;
    const TSection &last = FSections.last();
    const TLine *lastLine = !last.Lines.isEmpty() ? &last.Lines.last() : last.HasHeader ? &last.Header : nullptr;
    if (lastLine && !Trimmed(lastLine->Text).isEmpty()) {
        TLine blank;
        blank.End = "\r\n";
        blank.Changed = true;
        FSections.last().Lines.append(blank);
    }
    added.Lines.append(line);
    FSections.append(added);
}

void TIniFile::WriteInteger(const QString &section, const QString &key, int value)
{
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString &section, const QString &key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

QStringList TIniFile::ReadSection(const QString &section) const
{
    QStringList keys;
    for (const TSection &s : FSections) {
        if (!s.HasHeader || !SameName(s.Name, section))
            continue;
        for (const TLine &line : s.Lines) {
            if (line.IsKey && !keys.contains(line.Key, Qt::CaseInsensitive))
                keys.append(line.Key);
        }
    }
    return keys;
}

QStringList TIniFile::ReadSections() const
{
    QStringList names;
    for (const TSection &s : FSections) {
        if (s.HasHeader && !names.contains(s.Name, Qt::CaseInsensitive))
            names.append(s.Name);
    }
    return names;
}

bool TIniFile::SectionExists(const QString &section) const
{
    for (const TSection &s : FSections) {
        if (s.HasHeader && SameName(s.Name, section))
            return true;
    }
    return false;
}

bool TIniFile::ValueExists(const QString &section, const QString &key) const
{
    return FindKey(section, key) != nullptr;
}

void TIniFile::DeleteKey(const QString &section, const QString &key)
{
    for (TSection &s : FSections) {
        if (!s.HasHeader || !SameName(s.Name, section))
            continue;
        const qsizetype removed = s.Lines.removeIf([&](const TLine &line) { return line.IsKey && SameName(line.Key, key); });
        if (removed > 0)
            FModified = true;
    }
}

void TIniFile::EraseSection(const QString &section)
{
    const qsizetype removed = FSections.removeIf([&](const TSection &s) { return s.HasHeader && SameName(s.Name, section); });
    if (removed > 0)
        FModified = true;
}

bool TIniFile::ToBytes(QByteArray *bytes, QString *error) const
{
    QList<const TLine *> lines;
    for (const TSection &s : FSections) {
        if (s.HasHeader)
            lines.append(&s.Header);
        for (const TLine &line : s.Lines)
            lines.append(&line);
    }
    QByteArray out;
    if (FEncoding == TEncoding::Utf8Bom)
        out = "\xEF\xBB\xBF";
    else if (FEncoding == TEncoding::Utf16LeBom)
        out = "\xFF\xFE";
    QStringEncoder utf16(QStringEncoder::Utf16LE);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const TLine &line = *lines.at(i);
        // A last line without an end gets one when a write put lines after it.
        const QByteArray end = line.End.isEmpty() && i + 1 < lines.size() ? QByteArray("\r\n") : line.End;
        switch (FEncoding) {
        case TEncoding::Ansi:
            if (line.Changed) {
                bool lossless = false;
                const QByteArray encoded = EncodeAnsi(line.Text, FCodePage, &lossless);
                if (!lossless) {
                    if (error)
                        *error = QStringLiteral("The text \"%1\" has characters that the code page cannot hold.").arg(line.Text);
                    return false;
                }
                out += encoded;
            } else {
                out += line.Raw;
            }
            out += end;
            break;
        case TEncoding::Utf8Bom:
            out += (line.Changed ? line.Text.toUtf8() : line.Raw) + end;
            break;
        case TEncoding::Utf16LeBom:
            out += line.Changed ? QByteArray(utf16.encode(line.Text)) : line.Raw;
            out += utf16.encode(QString::fromLatin1(end));
            break;
        }
    }
    *bytes = out + FOddLastByte;
    return true;
}

bool TIniFile::CanHold(const QString &text) const
{
    if (FEncoding != TEncoding::Ansi)
        return true;
    bool lossless = false;
    EncodeAnsi(text, FCodePage, &lossless);
    return lossless;
}

bool TIniFile::OnDiskAlready(const QByteArray &bytes) const
{
    QFile file(FFileName);
    if (!file.open(QIODevice::ReadOnly) || file.size() != bytes.size() || file.readAll() != bytes)
        return false;
    struct stat st;
    return !FOwnerOnly || (::fstat(file.handle(), &st) == 0 && (st.st_mode & 0777) == 0600);
}

bool TIniFile::UpdateFile()
{
    FError.clear();
    QByteArray bytes;
    QString error;
    if (!ToBytes(&bytes, &error)) {
        FError = QStringLiteral("Cannot write %1: %2").arg(FFileName, error);
        return false;
    }
    // Most saves change nothing (the settings are written whenever a window closes): a file that
    // holds these bytes already, with the mode it should have, is left as it is, with no fsync.
    if (OnDiskAlready(bytes)) {
        FModified = false;
        return true;
    }
    TDurableFile file(FFileName);
    if (FOwnerOnly)
        file.SetExactMode(0600);
    if (!file.Open() || !file.Write(bytes) || !file.Commit()) {
        FError = QStringLiteral("Cannot write %1: %2").arg(FFileName, file.ErrorString());
        return false;
    }
    FModified = false;
    return true;
}
