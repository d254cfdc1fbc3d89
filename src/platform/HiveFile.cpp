// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: parsing and byte-faithful saving of Wine's text hive files.
#include "HiveFile.h"
#include "DurableFile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>
#include <cstring>

#include <sys/stat.h>

namespace {

constexpr quint64 UnixEpochAsFileTime = 116444736000000000ULL;  // 1970-01-01 in 100 ns since 1601
constexpr qint64 MaxKeyLineTime = qint64((std::numeric_limits<quint64>::max() - UnixEpochAsFileTime) / 10000000ULL);

bool IsHexDigit(ushort c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// text holds literal at pos.
bool At(const QByteArray &text, int pos, const char *literal)
{
    const int n = int(std::strlen(literal));
    return pos >= 0 && pos + n <= text.size() && std::memcmp(text.constData() + pos, literal, n) == 0;
}

int LineEnd(const QByteArray &text, int pos, int end)
{
    const char *p = static_cast<const char *>(std::memchr(text.constData() + pos, '\n', end - pos));
    return p ? int(p - text.constData()) + 1 : end;
}

// What isspace() is in the C locale, the line end aside: what Wine's loader passes over.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

int SkipBlanks(const QByteArray &text, int pos, int end)
{
    while (pos < end && IsBlank(text[pos]))
        ++pos;
    return pos;
}

// Where a line's content ends for Wine's loader: before "\n" and one "\r" (as it reads lines),
// and at a NUL (it takes each line as a C string).
int ContentEnd(const QByteArray &text, int line, int lineEnd)
{
    int e = lineEnd;
    if (e > line && text[e - 1] == '\n')
        --e;
    if (e > line && text[e - 1] == '\r')
        --e;
    const void *nul = std::memchr(text.constData() + line, 0, size_t(e - line));
    return nul ? int(static_cast<const char *>(nul) - text.constData()) : e;
}

QByteArray HexText(quint64 v)
{
    return QByteArray::number(v, 16);
}

// The run of hex digits at pos; false when it is longer than maxDigits (Wine never writes such a
// number: the file is damaged there).
bool HexRun(const char *s, int &pos, int end, int maxDigits, quint64 *value)
{
    quint64 v = 0;
    int digits = 0;
    for (; pos < end && HexValue(s[pos]) >= 0; ++pos, ++digits)
        if (digits < maxDigits)
            v = v * 16 + quint64(HexValue(s[pos]));
    *value = v;
    return digits <= maxDigits;
}

// strtoul(text + pos, &next, 16) as Wine's loader calls it on a line: blanks, a sign, "0x", hex
// digits, the largest unsigned long when they do not fit. pos moves past the number; it stays
// where it was when there is none.
quint64 StrToul16(const QByteArray &text, int &pos, int end)
{
    int p = SkipBlanks(text, pos, end);
    bool negative = false;
    if (p < end && (text[p] == '+' || text[p] == '-')) {
        negative = text[p] == '-';
        ++p;
    }
    if (p + 2 < end && text[p] == '0' && (text[p + 1] == 'x' || text[p + 1] == 'X') && HexValue(text[p + 2]) >= 0)
        p += 2;
    if (p >= end || HexValue(text[p]) < 0)
        return 0;
    quint64 v = 0;
    bool overflow = false;
    for (; p < end && HexValue(text[p]) >= 0; ++p) {
        overflow = overflow || (v >> 60) != 0;
        v = v << 4 | quint64(HexValue(text[p]));
    }
    pos = p;
    if (overflow)
        return ~quint64(0);
    return negative ? quint64(0) - v : v;
}

enum class THexEnd { Done, Malformed, Dangling };

// Hex data from pos as Wine's loader reads it: numbers (each taken as 32 bits, at most 0xff) with
// blanks and a comma between them; a "\" after the last asks for the next line, whatever follows
// it, and that line is read as more data whatever it holds (a key line too). Anything else ends
// the value as malformed. *next: where the loader goes on, after the last line it read.
THexEnd ReadHex(const QByteArray &text, int pos, int fileEnd, int *next, QByteArray *bytes)
{
    int lineEnd = LineEnd(text, pos, fileEnd);
    int content = ContentEnd(text, pos, lineEnd);
    while (true) {
        while (pos < content && HexValue(text[pos]) >= 0) {
            const quint64 value = StrToul16(text, pos, content);
            if (quint32(value) > 0xFF) {
                *next = lineEnd;
                return THexEnd::Malformed;
            }
            if (bytes)
                bytes->append(char(value));
            pos = SkipBlanks(text, pos, content);
            if (pos < content && text[pos] == ',')
                ++pos;
            pos = SkipBlanks(text, pos, content);
        }
        pos = SkipBlanks(text, pos, content);
        *next = lineEnd;
        if (pos >= content)
            return THexEnd::Done;
        if (text[pos] != '\\')
            return THexEnd::Malformed;
        if (lineEnd >= fileEnd)
            return THexEnd::Dangling;
        const int line = lineEnd;
        lineEnd = LineEnd(text, line, fileEnd);
        content = ContentEnd(text, line, lineEnd);
        pos = SkipBlanks(text, line, content);
    }
}

enum class TDataForm : quint8 { String, Dword, Hex };

// A value line as Wine's loader reads it, from the line's start.
struct TValueLine {
    bool IsValue = false;    // name and "=" read: the value exists, as REG_NONE when Malformed
    bool Malformed = false;
    bool Dangling = false;   // its hex data asked for a line after the end of the file
    QString Name;
    quint32 Type = 0;
    TDataForm Form = TDataForm::String;
    int DataOff = 0;         // the data's tag ("...", str(2):, dword:, hex:), from the line's start
    int Data = 0;            // the data itself: after the opening quote, the "dword:" or the ':'
    int Next = 0;            // after the last line the loader read for it
};

TValueLine ReadValueLine(const QByteArray &text, int line, int fileEnd, QByteArray *hexBytes = nullptr)
{
    TValueLine v;
    const int lineEnd = LineEnd(text, line, fileEnd);
    const int content = ContentEnd(text, line, lineEnd);
    v.Next = lineEnd;
    int p = SkipBlanks(text, line, content);
    if (p >= content || (text[p] != '"' && text[p] != '@'))
        return v;
    if (text[p] == '"') {
        ++p;
        if (!HiveText::Unescape(text, p, '"', &v.Name) || p >= content)
            return v;
    }
    p = SkipBlanks(text, p + 1, content);
    if (p >= content || text[p] != '=')
        return v;
    v.IsValue = true;
    p = SkipBlanks(text, p + 1, content);
    v.DataOff = p - line;
    const struct {
        const char *tag;
        quint32 type;
        TDataForm form;
    } tags[] = {
        {"\"", 1, TDataForm::String},     {"str:\"", 1, TDataForm::String},
        {"str(2):\"", 2, TDataForm::String}, {"str(7):\"", 7, TDataForm::String},
        {"hex:", 3, TDataForm::Hex},        {"dword:", 4, TDataForm::Dword},
    };
    bool known = false;
    for (const auto &t : tags)
        if (At(text, p, t.tag) && p + int(std::strlen(t.tag)) <= content) {
            v.Type = t.type;
            v.Form = t.form;
            v.Data = p + int(std::strlen(t.tag));
            known = true;
            break;
        }
    if (!known && At(text, p, "hex(") && p + 4 <= content) {
        int q = p + 4;
        v.Type = quint32(StrToul16(text, q, content));
        v.Form = TDataForm::Hex;
        v.Data = q + 2;
        known = q + 2 <= content && text[q] == ')' && text[q + 1] == ':';
    }
    if (!known) {
        v.Malformed = true;
        return v;
    }
    if (v.Form == TDataForm::String) {
        int q = v.Data;
        QString ignored;
        v.Malformed = !HiveText::Unescape(text, q, '"', &ignored) || q >= content;
    } else if (v.Form == TDataForm::Hex) {
        const THexEnd end = ReadHex(text, v.Data, fileEnd, &v.Next, hexBytes);
        v.Malformed = end != THexEnd::Done;
        v.Dangling = end == THexEnd::Dangling;
    }
    return v;
}

// A line that is a key line for Wine's loader: "[" after blanks; with a name it can read, the
// lines up to the next key line are that key's.
bool IsKeyLine(const QByteArray &text, int line, int lineEnd)
{
    const int content = ContentEnd(text, line, lineEnd);
    const int p = SkipBlanks(text, line, content);
    return p < content && text[p] == '[';
}

}  // namespace

QByteArray HiveText::Utf16(const QString &text, bool terminator)
{
    QByteArray out;
    out.reserve((text.size() + 1) * 2);
    for (QChar c : text) {
        out.append(char(c.unicode() & 0xFF));
        out.append(char(c.unicode() >> 8));
    }
    if (terminator)
        out.append(2, '\0');
    return out;
}

namespace {

QString FromUtf16Bytes(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size() / 2 + 1);
    for (int i = 0; i + 1 < bytes.size(); i += 2)
        out.append(QChar(ushort(uchar(bytes[i]) | (uchar(bytes[i + 1]) << 8))));
    // A lone last byte is a character of its own, as Wine's reg shows it: nothing of it is lost.
    if (bytes.size() % 2 == 1)
        out.append(QChar(ushort(uchar(bytes.back()))));
    return out;
}

// Wine's string-type numbers: kept as text in the file when properly terminated.
bool IsStringType(quint32 type)
{
    return type == 1 || type == 2 || type == 7;
}

}  // namespace

QString FoldName(const QString &name)
{
    QString out = name;
    QChar *p = out.data();
    for (qsizetype i = 0, n = out.size(); i < n; ++i) {
        const ushort c = p[i].unicode();
        if (c < 0x80) {
            if (c >= 'a' && c <= 'z')
                p[i] = QChar(ushort(c - 32));
        } else {
            p[i] = p[i].toUpper();
        }
    }
    return out;
}

namespace HiveText {

QByteArray Escape(const QString &text, const char *extra)
{
    QByteArray out;
    out.reserve(text.size() + 8);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const ushort c = text[i].unicode();
        const ushort next = i + 1 < n ? text[i + 1].unicode() : 0;
        if (c > 127) {
            char buf[8];
            std::snprintf(buf, sizeof buf, IsHexDigit(next) ? "\\x%04x" : "\\x%x", c);
            out.append(buf);
        } else if (c < 32) {
            static const char named[32] = {0, 0, 0, 0, 0, 0, 0, 'a', 'b', 't', 'n', 'v', 'f', 'r', 0, 0,
                                           0, 0, 0, 0, 0, 0, 0, 0,   0,   0,   0,   'e', 0,   0,   0,   0};
            char buf[8];
            if (named[c])
                std::snprintf(buf, sizeof buf, "\\%c", named[c]);
            else if (next >= '0' && next <= '7')
                std::snprintf(buf, sizeof buf, "\\%03o", c);
            else
                std::snprintf(buf, sizeof buf, "\\%o", c);
            out.append(buf);
        } else if (c == '\\' || (extra && std::strchr(extra, char(c)))) {
            out.append('\\');
            out.append(char(c));
        } else {
            out.append(char(c));
        }
    }
    return out;
}

bool Unescape(const QByteArray &text, int &pos, char terminator, QString *out)
{
    const int n = text.size();
    const char *s = text.constData();
    // Plain ASCII without escapes is the common case.
    int e = pos;
    bool plain = true;
    while (e < n && s[e] != terminator && s[e] != '\n') {
        if (s[e] == '\\' || uchar(s[e]) > 127) {
            plain = false;
            break;
        }
        ++e;
    }
    if (plain) {
        if (e >= n || s[e] != terminator)
            return false;
        *out = QString::fromLatin1(s + pos, e - pos);
        pos = e;
        return true;
    }
    QString r;
    r.reserve(e - pos + 16);
    r.append(QString::fromLatin1(s + pos, e - pos));
    int i = e;
    while (i < n && s[i] != terminator && s[i] != '\n') {
        const char c = s[i];
        if (c == '\\') {
            // A "\" at the end of a line escapes nothing: the string ends unterminated with its line.
            if (i + 1 >= n || s[i + 1] == '\n')
                return false;
            const char x = s[i + 1];
            i += 2;
            switch (x) {
            case 'a': r.append(QChar(7)); break;
            case 'b': r.append(QChar(8)); break;
            case 'e': r.append(QChar(27)); break;
            case 'f': r.append(QChar(12)); break;
            case 'n': r.append(QChar(10)); break;
            case 'r': r.append(QChar(13)); break;
            case 't': r.append(QChar(9)); break;
            case 'v': r.append(QChar(11)); break;
            case 'x': {
                ushort v = 0;
                int digits = 0;
                while (digits < 4 && i < n && HexValue(s[i]) >= 0) {
                    v = ushort(v * 16 + HexValue(s[i]));
                    ++i;
                    ++digits;
                }
                r.append(digits ? QChar(v) : QChar('x'));
                break;
            }
            default:
                if (x >= '0' && x <= '7') {
                    ushort v = ushort(x - '0');
                    for (int k = 0; k < 2 && i < n && s[i] >= '0' && s[i] <= '7'; ++k, ++i)
                        v = ushort(v * 8 + (s[i] - '0'));
                    r.append(QChar(v));
                } else if (uchar(x) > 127) {
                    --i;  // an escaped UTF-8 character: read it below as itself
                } else {
                    r.append(QChar(ushort(uchar(x))));
                }
            }
        } else if (uchar(c) > 127) {
            int j = i + 1;
            while (j < n && (uchar(s[j]) & 0xC0) == 0x80)
                ++j;
            r.append(QString::fromUtf8(s + i, j - i));
            i = j;
        } else {
            r.append(QChar(ushort(uchar(c))));
            ++i;
        }
    }
    if (i >= n || s[i] != terminator)
        return false;
    pos = i;
    *out = r;
    return true;
}

QByteArray FormatValue(const QString &name, quint32 type, const QByteArray &data)
{
    QByteArray out = name.isEmpty() ? QByteArray("@=") : "\"" + Escape(name, "\"") + "\"=";
    if (IsStringType(type) && data.size() >= 2 && data.size() % 2 == 0 && data[data.size() - 1] == 0
        && data[data.size() - 2] == 0) {
        if (type != 1)
            out += "str(" + HexText(type) + "):";
        out += '"';
        out += Escape(FromUtf16Bytes(data.left(data.size() - 2)), "\"");
        out += "\"\n";
        return out;
    }
    if (type == 4 && data.size() == 4) {
        const quint32 v = uchar(data[0]) | (uchar(data[1]) << 8) | (uchar(data[2]) << 16) | (quint32(uchar(data[3])) << 24);
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x\n", v);
        out += buf;
        return out;
    }
    out += type == 3 ? QByteArray("hex:") : "hex(" + HexText(type) + "):";
    // Wine breaks hex data after the comma that takes a line past 76 columns.
    int count = out.size();
    static const char digits[] = "0123456789abcdef";
    for (int i = 0; i < data.size(); ++i) {
        out += digits[uchar(data[i]) >> 4];
        out += digits[uchar(data[i]) & 15];
        count += 2;
        if (i < data.size() - 1) {
            out += ',';
            if (++count > 76) {
                out += "\\\n  ";
                count = 2;
            }
        }
    }
    out += '\n';
    return out;
}

QByteArray FormatStringValue(const QString &name, quint32 type, const QString &text)
{
    return FormatValue(name, type, HiveText::Utf16(text, true));
}

quint64 ToFileTime(const QDateTime &utc)
{
    return quint64(utc.toMSecsSinceEpoch()) * 10000ULL + UnixEpochAsFileTime;
}

QDateTime FromFileTime(quint64 fileTime)
{
    if (fileTime < UnixEpochAsFileTime)
        return QDateTime();
    return QDateTime::fromMSecsSinceEpoch(qint64((fileTime - UnixEpochAsFileTime) / 10000ULL), Qt::UTC);
}

}  // namespace HiveText

// ---------------------------------------------------------------------------------------------

namespace {
THiveFile::TWriter &HiveWriter()
{
    static THiveFile::TWriter writer;
    return writer;
}
}

THiveFile::THiveFile(const QString &path, const QString &relativeTo) : FPath(path), FRelativeTo(relativeTo)
{
    Clear();
}

THiveFile::~THiveFile() = default;

void THiveFile::Clear()
{
    FKeys.clear();
    FBlocks.clear();
    FText.clear();
    FHeaderLen = 0;
    FRoot = NewKey(nullptr, QString());
    FWritable = true;
}

THiveKey *THiveFile::NewKey(THiveKey *parent, const QString &name)
{
    auto key = std::make_unique<THiveKey>();
    key->Name = name;
    key->Folded = FoldName(name);
    key->Parent = parent;
    THiveKey *raw = key.get();
    FKeys.push_back(std::move(key));
    return raw;
}

THiveKey *THiveFile::Child(const THiveKey *key, const QString &name)
{
    if (!key)
        return nullptr;
    const QString folded = FoldName(name);
    auto it = std::lower_bound(key->Children.begin(), key->Children.end(), folded,
                               [](const THiveKey *k, const QString &f) { return k->Folded < f; });
    return it != key->Children.end() && (*it)->Folded == folded ? *it : nullptr;
}

THiveKey *THiveFile::CreateChild(THiveKey *parent, const QString &name)
{
    const QString folded = FoldName(name);
    auto &kids = parent->Children;
    // Keys come sorted in Wine's files: appending is the usual case.
    if (kids.empty() || kids.back()->Folded < folded) {
        THiveKey *k = NewKey(parent, name);
        kids.push_back(k);
        return k;
    }
    auto it = std::lower_bound(kids.begin(), kids.end(), folded,
                               [](const THiveKey *k, const QString &f) { return k->Folded < f; });
    if (it != kids.end() && (*it)->Folded == folded)
        return *it;
    THiveKey *k = NewKey(parent, name);
    kids.insert(it, k);
    return k;
}

void THiveFile::DeleteKey(THiveKey *key)
{
    if (!key || key == FRoot)
        return;
    std::vector<THiveKey *> stack{key};
    while (!stack.empty()) {
        THiveKey *k = stack.back();
        stack.pop_back();
        k->Deleted = true;
        for (THiveKey *block : k->MoreBlocks)
            block->Deleted = true;
        for (THiveKey *c : k->Children)
            stack.push_back(c);
    }
    THiveKey *parent = key->Parent;
    auto &kids = parent->Children;
    kids.erase(std::remove(kids.begin(), kids.end(), key), kids.end());
    // Wine writes a key without values only when it has no subkeys: a parent that the file held
    // only through this child must now get its own block, or it would vanish.
    Touch(parent, parent != FRoot && kids.empty() && parent->BlockOff < 0);
}

const THiveValue *THiveFile::FindValue(const THiveKey *key, const QString &name)
{
    if (!key)
        return nullptr;
    for (const THiveValue &v : key->Values)
        if (v.Name.compare(name, Qt::CaseInsensitive) == 0)
            return &v;
    return nullptr;
}

THiveValue *THiveFile::FindValue(THiveKey *key, const QString &name)
{
    return const_cast<THiveValue *>(FindValue(static_cast<const THiveKey *>(key), name));
}

void THiveFile::Touch(THiveKey *key, bool materialize)
{
    if (!key || key->Deleted)
        return;
    if (!materialize && key->BlockOff < 0 && !key->NewBlock)
        return;  // a key that the file holds only as a path has no times to update
    const QDateTime now = QDateTime::currentDateTimeUtc();
    key->FileTime = HiveText::ToFileTime(now);
    key->UnixTime = now.toSecsSinceEpoch();
    key->HasTime = true;
    key->Dirty = true;
    for (THiveKey *block : key->MoreBlocks)
        block->Dirty = true;
    if (key->BlockOff < 0)
        key->NewBlock = true;
}

void THiveFile::SetValue(THiveKey *key, const QString &name, quint32 type, const QByteArray &data)
{
    THiveValue *v = FindValue(key, name);
    if (!v) {
        key->Values.push_back(THiveValue());
        v = &key->Values.back();
        v->Name = name;
    }
    v->Type = type;
    v->Own = HiveText::FormatValue(v->Name, type, data);
    v->DataOff = v->Name.isEmpty() ? 2 : int(HiveText::Escape(v->Name, "\"").size()) + 3;
    Touch(key);
}

void THiveFile::SetStringValue(THiveKey *key, const QString &name, quint32 type, const QString &text)
{
    SetValue(key, name, type, HiveText::Utf16(text, true));
}

bool THiveFile::DeleteValue(THiveKey *key, const QString &name)
{
    THiveValue *v = FindValue(key, name);
    if (!v)
        return false;
    key->Values.erase(key->Values.begin() + (v - key->Values.data()));
    Touch(key);
    return true;
}

QByteArray THiveFile::ValueText(const THiveValue &value) const
{
    return value.Own.isEmpty() ? FText.mid(value.Off, value.Len) : value.Own;
}

QString THiveFile::ValueString(const THiveValue &value) const
{
    const QByteArray raw = ValueText(value);
    const TValueLine line = ReadValueLine(raw, 0, raw.size());
    if (line.Malformed)
        return QString();
    if (line.Form == TDataForm::String) {
        int p = line.Data;
        QString s;
        return HiveText::Unescape(raw, p, '"', &s) ? s : QString();
    }
    QString s = FromUtf16Bytes(ValueBytes(value));
    while (!s.isEmpty() && s.back() == QChar(0))
        s.chop(1);
    return s;
}

QByteArray THiveFile::ValueBytes(const THiveValue &value) const
{
    const QByteArray raw = ValueText(value);
    QByteArray out;
    const TValueLine line = ReadValueLine(raw, 0, raw.size(), &out);
    if (line.Malformed)
        return {};
    switch (line.Form) {
    case TDataForm::String:
        return HiveText::Utf16(ValueString(value), true);
    case TDataForm::Dword: {
        // The loader takes the number as strtoul() reads it and keeps its low 32 bits.
        int p = line.Data;
        const quint32 v = quint32(StrToul16(raw, p, ContentEnd(raw, 0, LineEnd(raw, 0, raw.size()))));
        out.resize(4);
        for (int i = 0; i < 4; ++i)
            out[i] = char((v >> (8 * i)) & 0xFF);
        return out;
    }
    case TDataForm::Hex:
        break;
    }
    return out;
}

QString THiveFile::LinkTarget(const THiveKey *key) const
{
    if (!key || !key->IsLink)
        return QString();
    const THiveValue *v = FindValue(key, QStringLiteral("SymbolicLinkValue"));
    return v ? ValueString(*v) : QString();
}

// ---------------------------------------------------------------------------------------------

void THiveFile::StatFile()
{
    struct stat st;
    if (::stat(QFile::encodeName(FPath).constData(), &st) == 0) {
        FDiskSize = st.st_size;
        FDiskMtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
        FDiskInode = st.st_ino;
    } else {
        FDiskSize = -1;
        FDiskMtimeNs = -1;
        FDiskInode = 0;
    }
}

bool THiveFile::ChangedOnDisk() const
{
    struct stat st;
    if (::stat(QFile::encodeName(FPath).constData(), &st) != 0)
        return FDiskSize != -1;
    return st.st_size != FDiskSize || qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec != FDiskMtimeNs
           || st.st_ino != FDiskInode;
}

bool THiveFile::Load(QString *error)
{
    QFile f(FPath);
    StatFile();
    FLoadError.clear();
    if (!f.exists()) {
        Clear();
        return true;
    }
    if (!f.open(QIODevice::ReadOnly)) {
        Clear();
        FWritable = false;
        FLoadError = QStringLiteral("Cannot read \"%1\": %2").arg(FPath, f.errorString());
        if (error)
            *error = FLoadError;
        return false;
    }
    return LoadText(f.readAll(), error);
}

bool THiveFile::LoadText(const QByteArray &text, QString *error)
{
    Clear();
    FLoadError.clear();
    if (text.isEmpty())
        return true;
    // A hive must start "WINE REGISTRY Version 2"; anything else is no Wine hive: never rewrite it.
    if (!text.startsWith("WINE REGISTRY Version 2")) {
        FWritable = false;
        FLoadError = QStringLiteral("\"%1\" is not a Wine registry file").arg(FPath);
        if (error)
            *error = FLoadError;
        return false;
    }
    FText = text;
    const int n = FText.size();
    int pos = 0;
    while (pos < n && !IsKeyLine(FText, pos, LineEnd(FText, pos, n)))
        pos = LineEnd(FText, pos, n);
    FHeaderLen = pos;
    while (pos < n)
        pos = ParseBlock(pos, nullptr);
    return true;
}

int THiveFile::ParseBlock(int off, std::vector<std::pair<int, int>> *spans)
{
    const int n = FText.size();
    const char *s = FText.constData();
    const int lineEnd = LineEnd(FText, off, n);
    const int content = ContentEnd(FText, off, lineEnd);
    int p = SkipBlanks(FText, off, content) + 1;
    QString path;
    // A key line Wine cannot read opens no key: the lines after it are values without a key,
    // read no further than their own line.
    const bool opens = HiveText::Unescape(FText, p, ']', &path) && p < content;
    THiveKey *key = nullptr;
    if (opens) {
        key = FRoot;
        for (const QString &part : path.split(QLatin1Char('\\'), Qt::SkipEmptyParts))
            key = CreateChild(key, part);
        if (key == FRoot && !path.isEmpty())
            key = nullptr;
    }
    int end = lineEnd;
    int ordinal = 0;
    std::vector<THiveValue> values;
    bool isLink = false, hasFileTime = false, dangling = false;
    quint64 fileTime = 0;
    while (end < n) {
        const int le = LineEnd(FText, end, n);
        if (IsKeyLine(FText, end, le))
            break;
        if (!opens) {
            end = le;
            continue;
        }
        const int lineContent = ContentEnd(FText, end, le);
        const int first = SkipBlanks(FText, end, lineContent);
        const char c = first < lineContent ? s[first] : 0;
        if (c == '#') {
            int q = first + 6;
            quint64 ft = 0;
            if (At(FText, first, "#time=") && HexRun(s, q, lineContent, 16, &ft)) {
                fileTime = ft;
                hasFileTime = true;
            } else if (At(FText, first, "#link")) {
                isLink = true;
            }
            end = le;
            continue;
        }
        if (c != '"' && c != '@') {
            end = le;
            continue;
        }
        // Hex data takes the lines the loader reads for it, whatever they hold.
        const TValueLine r = ReadValueLine(FText, end, n);
        if (r.IsValue) {
            THiveValue v;
            v.Name = r.Name;
            v.Type = r.Malformed ? 0 : r.Type;
            v.Malformed = r.Malformed;
            v.Dangling = r.Dangling;
            v.DataOff = r.DataOff;
            v.Off = end;
            v.Len = r.Next - end;
            v.OrigIndex = ordinal++;
            if (spans)
                spans->emplace_back(v.Off, v.Len);
            // Of two values of one name the loader keeps the later.
            values.erase(std::remove_if(values.begin(), values.end(),
                                        [&](const THiveValue &o) { return o.Name.compare(v.Name, Qt::CaseInsensitive) == 0; }),
                         values.end());
            values.push_back(std::move(v));
        }
        end = r.Next;
        dangling = r.Dangling;
    }

    if (!key || key->BlockOff >= 0) {
        // No key, or a key written again: Wine reads the values of this block into that key too,
        // over those of the same name it read before.
        THiveKey *block = NewKey(nullptr, QString());
        block->BlockOff = off;
        block->BlockLen = end - off;
        block->EndsDangling = dangling;
        FBlocks.push_back(block);
        if (key) {
            block->Owner = key;
            key->MoreBlocks.push_back(block);
            for (THiveValue &v : values) {
                v.Home = block;
                std::erase_if(key->Values, [&](const THiveValue &o) { return o.Name.compare(v.Name, Qt::CaseInsensitive) == 0; });
                key->Values.push_back(std::move(v));
            }
        }
        return end;
    }
    key->BlockOff = off;
    key->BlockLen = end - off;
    FBlocks.push_back(key);
    while (p + 1 < content && s[p + 1] == ' ')
        ++p;
    qint64 t = 0;
    for (++p; p < content && s[p] >= '0' && s[p] <= '9'; ++p) {
        // A time that no FILETIME can hold is damage: the key has no time then.
        if (t > (MaxKeyLineTime - (s[p] - '0')) / 10) {
            t = 0;
            break;
        }
        t = t * 10 + (s[p] - '0');
    }
    key->UnixTime = t;
    key->FileTime = t ? quint64(t) * 10000000ULL + UnixEpochAsFileTime : 0;
    key->HasTime = t != 0;
    if (hasFileTime) {
        key->FileTime = fileTime;
        key->HasTime = true;
    }
    key->IsLink = isLink;
    key->EndsDangling = dangling;
    key->Values = std::move(values);
    return end;
}

// ---------------------------------------------------------------------------------------------

QByteArray THiveFile::KeyLine(const THiveKey *key) const
{
    QList<const THiveKey *> chain;
    for (const THiveKey *k = key; k && k != FRoot; k = k->Parent)
        chain.prepend(k);
    QByteArray out = "[";
    for (int i = 0; i < chain.size(); ++i) {
        if (i)
            out += "\\\\";
        out += HiveText::Escape(chain[i]->Name, "[]");
    }
    out += "] " + QByteArray::number(key->UnixTime) + "\n";
    return out;
}

namespace {
// Hex data that asked for a line after the end of the file: the loader made the value REG_NONE.
// Whatever line came after it would be read as its data (a blank line would make the data
// whole); this one keeps it as Wine read it.
const QByteArray EndOfDanglingData = ";\n";
}  // namespace

void THiveFile::AppendBlock(QByteArray &out, THiveKey *block, bool followed)
{
    // A later block of a key written twice holds some of its values; the key's own block holds
    // the rest, and every new one.
    THiveKey *key = block->Owner ? block->Owner : block;
    const THiveKey *home = block->Owner ? block : nullptr;
    auto here = [home](const THiveValue &v) { return v.Home == home; };
    const QByteArray timeLine = "#time=" + HexText(key->FileTime) + "\n";
    const int start = out.size();
    if (!block->Dirty && block->BlockOff >= 0) {
        out.append(FText.constData() + block->BlockOff, block->BlockLen);
        const int shift = start - block->BlockOff;
        for (THiveValue &v : key->Values)
            if (here(v))
                v.Off += shift;
        block->BlockOff = start;
        if (followed && block->EndsDangling) {
            if (!out.endsWith('\n'))
                out += '\n';
            out += EndOfDanglingData;
            block->EndsDangling = false;
            for (THiveValue &v : key->Values)
                if (here(v) && v.Dangling) {
                    v.Len = out.size() - v.Off;
                    v.Dangling = false;
                }
        }
        return;
    }
    for (THiveValue &v : key->Values)
        if (here(v) && v.Dangling && v.Own.isEmpty()) {
            v.Own = FText.mid(v.Off, v.Len);
            if (!v.Own.endsWith('\n'))
                v.Own += '\n';
            v.Own += EndOfDanglingData;
        }
    out += KeyLine(key);
    int insertAt = -1;  // where new values go: after the last value, else after the options
    QByteArray tail;
    std::vector<int> emittedAt(key->Values.size(), -1);
    if (block->BlockOff >= 0) {
        const char *s = FText.constData();
        const int end = block->BlockOff + block->BlockLen;
        int contentEnd = end;
        // Blank lines at the block's end separate it from the next key: keep them after the new values.
        while (contentEnd > block->BlockOff) {
            int ls = contentEnd - 1;
            while (ls > block->BlockOff && s[ls - 1] != '\n')
                --ls;
            bool blank = true;
            for (int q = ls; q < contentEnd; ++q)
                if (s[q] != '\n' && s[q] != '\r' && s[q] != ' ' && s[q] != '\t')
                    blank = false;
            if (!blank)
                break;
            contentEnd = ls;
        }
        bool timeWritten = false;
        int optionsEnd = out.size();
        int line = LineEnd(FText, block->BlockOff, end);
        std::vector<int> byOrig;
        for (int i = 0; i < int(key->Values.size()); ++i)
            if (here(key->Values[i]) && key->Values[i].OrigIndex >= 0) {
                if (int(byOrig.size()) <= key->Values[i].OrigIndex)
                    byOrig.resize(key->Values[i].OrigIndex + 1, -1);
                byOrig[key->Values[i].OrigIndex] = i;
            }
        // Walk the old lines: original values are recognised by their position, as parsed. The
        // lines of a value that a later one of its name replaced, or that was deleted, go.
        THiveFile probe{QString(), QString()};
        int ordinal = 0;
        std::vector<std::pair<int, int>> spans;  // original value spans, in order
        probe.FText = FText.mid(block->BlockOff, block->BlockLen);
        probe.ParseBlock(0, &spans);
        for (auto &span : spans) {
            span.first += block->BlockOff;
            // A blank line that hex data read as its own stays with it.
            contentEnd = std::max(contentEnd, span.first + span.second);
        }
        tail = FText.mid(contentEnd, end - contentEnd);
        size_t nextSpan = 0;
        while (line < contentEnd) {
            if (nextSpan < spans.size() && spans[nextSpan].first == line) {
                const int idx = ordinal < int(byOrig.size()) ? byOrig[ordinal] : -1;
                if (idx >= 0) {
                    THiveValue &v = key->Values[idx];
                    emittedAt[idx] = out.size();
                    out += v.Own.isEmpty() ? FText.mid(v.Off, v.Len) : v.Own;
                    if (!out.endsWith('\n'))
                        out += '\n';  // the file's last line had no line end
                }
                line += spans[nextSpan].second;
                ++nextSpan;
                ++ordinal;
                insertAt = out.size();
                continue;
            }
            const int le = LineEnd(FText, line, contentEnd);
            if (At(FText, SkipBlanks(FText, line, le), "#time=")) {
                out += timeLine;
                timeWritten = true;
                if (insertAt < 0)
                    optionsEnd = out.size();
            } else {
                out.append(FText.constData() + line, le - line);
                if (!out.endsWith('\n'))
                    out += '\n';
                if (line < contentEnd && s[line] == '#' && insertAt < 0)
                    optionsEnd = out.size();
            }
            line = le;
        }
        if (!timeWritten) {
            const int at = start + KeyLine(key).size();
            out.insert(at, timeLine);
            for (int &e : emittedAt)
                if (e >= 0)
                    e += timeLine.size();
            if (insertAt >= 0)
                insertAt += timeLine.size();
            optionsEnd += timeLine.size();
        }
        if (insertAt < 0)
            insertAt = optionsEnd;
        if (!out.endsWith('\n') && out.size() > start)
            out += '\n';
    } else {
        out += timeLine;
        insertAt = out.size();
    }
    QByteArray added;
    std::vector<std::pair<int, int>> addedAt;  // value index, offset inside "added"
    for (int i = 0; i < int(key->Values.size()); ++i)
        if (here(key->Values[i]) && emittedAt[i] < 0) {
            const THiveValue &v = key->Values[i];
            addedAt.emplace_back(i, added.size());
            added += v.Own.isEmpty() ? FText.mid(v.Off, v.Len) : v.Own;
            if (!added.endsWith('\n'))
                added += '\n';
        }
    out.insert(insertAt, added);
    for (int &e : emittedAt)
        if (e >= insertAt)
            e += added.size();
    for (const auto &[idx, o] : addedAt)
        emittedAt[idx] = insertAt + o;
    out += tail;
    block->EndsDangling = false;
    // From now on the block's values live in the new text, numbered in their new order.
    std::vector<int> mine;
    for (int i = 0; i < int(key->Values.size()); ++i)
        if (here(key->Values[i]))
            mine.push_back(i);
    std::sort(mine.begin(), mine.end(), [&](int x, int y) { return emittedAt[x] < emittedAt[y]; });
    for (int rank = 0; rank < int(mine.size()); ++rank) {
        THiveValue &v = key->Values[mine[rank]];
        const int len = v.Own.isEmpty() ? v.Len : v.Own.size();
        v.Off = emittedAt[mine[rank]];
        v.Len = len;
        v.OrigIndex = rank;
        v.Own.clear();
        v.Dangling = false;
    }
    block->BlockOff = start;
}

QByteArray THiveFile::SaveText()
{
    // The file order of existing blocks is kept; new blocks go where Wine's depth-first,
    // case-ignoring order puts them.
    std::vector<THiveKey *> fresh;
    for (const auto &k : FKeys)
        if (k->NewBlock && !k->Deleted && k->BlockOff < 0)
            fresh.push_back(k.get());
    auto chainOf = [this](const THiveKey *k) {
        std::vector<const THiveKey *> chain;
        for (; k && k != FRoot; k = k->Parent)
            chain.push_back(k);
        std::reverse(chain.begin(), chain.end());
        return chain;
    };
    auto before = [&](const THiveKey *a, const THiveKey *b) {
        const auto ca = chainOf(a), cb = chainOf(b);
        for (size_t i = 0; i < ca.size() && i < cb.size(); ++i)
            if (ca[i]->Folded != cb[i]->Folded)
                return ca[i]->Folded < cb[i]->Folded;
        return ca.size() < cb.size();
    };
    std::sort(fresh.begin(), fresh.end(), before);

    QByteArray header = FHeaderLen ? FText.left(FHeaderLen) : QByteArray();
    if (header.isEmpty() && (!fresh.empty() || !FBlocks.empty())) {
        header = "WINE REGISTRY Version 2\n;; All keys relative to " + HiveText::Escape(FRelativeTo, nullptr) + "\n";
        if (!FNewArch.isEmpty())
            header += "\n#arch=" + FNewArch + "\n";
    }
    QByteArray out;
    out.reserve(FText.size() + 4096);
    out += header;
    std::vector<THiveKey *> order;
    order.reserve(FBlocks.size() + fresh.size());
    size_t f = 0;
    for (THiveKey *b : FBlocks) {
        if (b->Deleted)
            continue;
        while (f < fresh.size() && b->Parent && before(fresh[f], b))
            order.push_back(fresh[f++]);
        order.push_back(b);
    }
    while (f < fresh.size())
        order.push_back(fresh[f++]);

    std::vector<THiveKey *> kept;
    bool prevNew = false;
    for (size_t i = 0; i < order.size(); ++i) {
        THiveKey *k = order[i];
        const bool isNew = k->BlockOff < 0;
        // Wine puts a blank line before every key.
        if ((isNew || prevNew) && !out.endsWith("\n\n"))
            out += '\n';
        prevNew = isNew;
        AppendBlock(out, k, i + 1 < order.size());
        k->NewBlock = false;
        k->Dirty = false;
        kept.push_back(k);
    }
    // A block runs up to the next one: the blank lines between them belong to the one before.
    for (size_t i = 0; i < kept.size(); ++i)
        kept[i]->BlockLen = (i + 1 < kept.size() ? kept[i + 1]->BlockOff : int(out.size())) - kept[i]->BlockOff;
    FBlocks = kept;
    FHeaderLen = kept.empty() ? int(out.size()) : kept.front()->BlockOff;
    FText = out;
    return out;
}

namespace {
QString NotAHiveText(const QString &path)
{
    return QStringLiteral("\"%1\" is not a Wine registry file; it is left as it is").arg(path);
}
}  // namespace

bool THiveFile::Save(QString *error)
{
    if (!FWritable) {
        if (error)
            *error = NotAHiveText(FPath);
        // The change goes too: reads show what the file holds, and that is nothing.
        Clear();
        FWritable = false;
        return false;
    }
    // Offsets move to the new text only when the save goes through: keep the old state to fall back on.
    const QByteArray oldText = FText;
    const QByteArray text = SaveText();
    QString why;
    const bool written = HiveWriter() ? HiveWriter()(FPath, text, &why) : WriteFileAtomically(FPath, text, &why);
    if (!written) {
        if (error)
            *error = QStringLiteral("Cannot save \"%1\": %2").arg(FPath, why);
        LoadText(oldText);
        return false;
    }
    StatFile();
    return true;
}

void THiveFile::SetWriter(TWriter writer)
{
    HiveWriter() = std::move(writer);
}

bool THiveFile::WriteFileAtomically(const QString &path, const QByteArray &text, QString *error)
{
    return DurableFile::Write(path, text, error);
}

bool THiveFile::CanSave(QString *why) const
{
    if (!FWritable) {
        *why = NotAHiveText(FPath);
        return false;
    }
    const QFileInfo file(FPath);
    // The new text goes to a temporary file beside the hive and is renamed over it.
    if (!QFileInfo(file.absolutePath()).isWritable() || (file.exists() && !file.isWritable())) {
        *why = QStringLiteral("Cannot save \"%1\": permission denied").arg(FPath);
        return false;
    }
    return true;
}

QString THiveFile::HeaderRelativeTo() const
{
    const QByteArray head = FText.left(FHeaderLen);
    const int at = head.indexOf(";; All keys relative to ");
    if (at < 0)
        return QString();
    int p = at + 24;
    QString out;
    int e = head.indexOf('\n', p);
    QByteArray line = head.mid(p, e < 0 ? -1 : e - p) + '\n';
    int q = 0;
    return HiveText::Unescape(line, q, '\n', &out) ? out : QString();
}

QByteArray THiveFile::Arch() const
{
    const QByteArray head = FText.left(FHeaderLen);
    const int at = head.indexOf("\n#arch=");
    if (at < 0)
        return QByteArray();
    const int e = head.indexOf('\n', at + 1);
    return head.mid(at + 7, (e < 0 ? head.size() : e) - at - 7).trimmed();
}
