// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: shell-link (.lnk) reading after [MS-SHLLINK]; every offset and count is checked against the data.
#include "platform/LnkReader.h"

#include "platform/CodePage.h"
#include "platform/WinFiles.h"

#include <algorithm>

#include <cerrno>
#include <unistd.h>

namespace {

constexpr int kMaxText = 259;  // a MAX_PATH buffer less its terminator

// [MS-SHLLINK] 2.1.1 LinkFlags
constexpr quint32 HasLinkTargetIDList = 0x1;
constexpr quint32 HasLinkInfo = 0x2;
constexpr quint32 HasName = 0x4;
constexpr quint32 HasRelativePath = 0x8;
constexpr quint32 HasWorkingDir = 0x10;
constexpr quint32 HasArguments = 0x20;
constexpr quint32 HasIconLocation = 0x40;
constexpr quint32 IsUnicode = 0x80;
constexpr quint32 ForceNoLinkInfo = 0x100;

const unsigned char kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                      0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// Bounds-checked little-endian reads over the file's bytes.
class TReader
{
public:
    explicit TReader(const QByteArray &data) : FData(data) {}
    qsizetype Size() const { return FData.size(); }
    bool Has(qsizetype offset, qsizetype count) const
    {
        return offset >= 0 && count >= 0 && offset <= FData.size() && count <= FData.size() - offset;
    }
    bool U16(qsizetype offset, quint32 *v) const
    {
        if (!Has(offset, 2)) return false;
        *v = Byte(offset) | (Byte(offset + 1) << 8);
        return true;
    }
    bool U32(qsizetype offset, quint32 *v) const
    {
        if (!Has(offset, 4)) return false;
        *v = Byte(offset) | (Byte(offset + 1) << 8) | (Byte(offset + 2) << 16) | (quint32(Byte(offset + 3)) << 24);
        return true;
    }
    quint32 Byte(qsizetype offset) const { return quint8(FData.at(offset)); }
    QByteArray Bytes(qsizetype offset, qsizetype count) const { return FData.mid(offset, count); }
    // A NUL-terminated 8-bit string starting at offset and ending before limit.
    bool AnsiZ(qsizetype offset, qsizetype limit, QByteArray *out) const
    {
        if (limit > FData.size()) limit = FData.size();
        if (offset < 0 || offset >= limit) return false;
        const qsizetype end = FData.indexOf('\0', offset);
        if (end < 0 || end >= limit) return false;
        *out = FData.mid(offset, end - offset);
        return true;
    }
    bool Utf16Z(qsizetype offset, qsizetype limit, QString *out) const
    {
        if (limit > FData.size()) limit = FData.size();
        QString s;
        for (qsizetype p = offset; p + 1 < limit; p += 2) {
            const quint32 c = Byte(p) | (Byte(p + 1) << 8);
            if (c == 0) {
                *out = s;
                return true;
            }
            s += QChar(char16_t(c));
        }
        return false;
    }

private:
    const QByteArray &FData;
};

QString Clip(const QString &text) { return text.left(kMaxText); }

// "?" cannot be part of a Windows name: in a stored path it stands for a character that the
// code page of an 8-bit form had no place for.
TLinkTextQuality QualityOf(const QString &text, bool eightBit)
{
    bool beyondAscii = false;
    for (const QChar c : text) {
        if (c == u'?' || c == QChar::ReplacementCharacter)
            return TLinkTextQuality::Lossy;
        beyondAscii = beyondAscii || c.unicode() >= 0x80;
    }
    return eightBit && beyondAscii ? TLinkTextQuality::CodePage : TLinkTextQuality::Exact;
}

TLinkTextQuality Worse(TLinkTextQuality a, TLinkTextQuality b) { return std::min(a, b); }

// The long name of a file-system item, stored after its 8-bit short name. Windows keeps it in an
// extension block with the signature 0xBEEF0004, whose fixed fields grew with its version; Wine
// writes a block of its own: its size, 18 bytes of times, the UTF-16 name, and (as Windows does)
// the block's offset in the item's last two bytes.
bool LongNameOfItem(const TReader &r, qsizetype item, qsizetype ext, qsizetype itemEnd, QString *name)
{
    quint32 extSize = 0, extVersion = 0, signature = 0, offset = 0;
    if (!r.U16(ext, &extSize) || !r.U16(ext + 2, &extVersion) || !r.U32(ext + 4, &signature))
        return false;
    QString longName;
    if (signature == 0xBEEF0004 && extSize >= 8 && ext + qsizetype(extSize) <= itemEnd) {
        const qsizetype longNameAt = ext + (extVersion >= 9 ? 46 : extVersion >= 8 ? 42 : extVersion >= 7 ? 38 : 18);
        if (!r.Utf16Z(longNameAt, ext + extSize, &longName))
            return false;
    } else if (qsizetype(extSize) == itemEnd - ext && r.U16(itemEnd - 2, &offset) && qsizetype(offset) == ext - item) {
        if (!r.Utf16Z(ext + 20, itemEnd - 2, &longName) || ext + 20 + 2 * (longName.size() + 1) != itemEnd - 2)
            return false;
    } else {
        return false;
    }
    if (longName.isEmpty())
        return false;
    *name = longName;
    return true;
}

// The path an ID list names when it is My Computer / drive / folders and files ([MS-SHLLINK] 2.2
// leaves the item layout to the shell; these are the shell's file-system items). Anything else
// is a virtual object and gives no path.
QString PathOfIdList(const TReader &r, qsizetype start, qsizetype end, int codePage, TLinkTextQuality *quality)
{
    QString path;
    bool sawDrive = false;
    *quality = TLinkTextQuality::Exact;
    qsizetype p = start;
    while (true) {
        quint32 size = 0;
        if (!r.U16(p, &size) || p + 2 > end) return {};
        if (size == 0) break;
        if (size < 3 || !r.Has(p, size) || p + qsizetype(size) > end) return {};
        const qsizetype itemEnd = p + size;
        const quint32 type = r.Byte(p + 2);
        if ((type & 0x70) == 0x10) {
            // root item (My Computer and friends): carries no path of its own
        } else if ((type & 0x70) == 0x20) {
            QByteArray drive;
            if (!r.AnsiZ(p + 3, itemEnd, &drive) || drive.isEmpty()) return {};
            path = DecodeAnsi(drive, codePage);
            *quality = Worse(*quality, QualityOf(path, true));
            if (!path.endsWith(u'\\')) path += u'\\';
            sawDrive = true;
        } else if ((type & 0x70) == 0x30) {
            if (!sawDrive) return {};
            // size(2) type(1) pad(1) file size(4) date(2) time(2) attributes(2), then the short name
            QByteArray shortName;
            if (!r.AnsiZ(p + 14, itemEnd, &shortName)) return {};
            QString name;
            qsizetype ext = p + 14 + shortName.size() + 1;
            if ((ext - p) & 1) ++ext;
            if (LongNameOfItem(r, p, ext, itemEnd, &name)) {
                *quality = Worse(*quality, QualityOf(name, false));
            } else {
                name = DecodeAnsi(shortName, codePage);
                *quality = Worse(*quality, QualityOf(name, true));
            }
            if (!path.endsWith(u'\\')) path += u'\\';
            path += name;
        } else {
            return {};
        }
        p = itemEnd;
    }
    return sawDrive ? path : QString();
}

bool ReadStringData(const TReader &r, qsizetype *p, bool unicode, int codePage, QString *out)
{
    quint32 count = 0;
    if (!r.U16(*p, &count)) return false;
    *p += 2;
    const qsizetype bytes = unicode ? qsizetype(count) * 2 : qsizetype(count);
    if (!r.Has(*p, bytes)) return false;
    if (unicode) {
        QString s;
        s.reserve(count);
        for (quint32 i = 0; i < count; ++i)
            s += QChar(char16_t(r.Byte(*p + 2 * i) | (r.Byte(*p + 2 * i + 1) << 8)));
        *out = s;
    } else {
        *out = DecodeAnsi(r.Bytes(*p, bytes), codePage);
    }
    const qsizetype nul = out->indexOf(QChar(0));
    if (nul >= 0) out->truncate(nul);
    *p += bytes;
    return true;
}

bool ReadLinkInfo(const TReader &r, qsizetype start, TShellLink *link, int codePage)
{
    quint32 size = 0, headerSize = 0, flags = 0;
    if (!r.U32(start, &size) || !r.U32(start + 4, &headerSize) || !r.U32(start + 8, &flags)) return false;
    if (size < 0x1C || headerSize < 0x1C || headerSize > size || !r.Has(start, size)) return false;
    const qsizetype end = start + size;
    quint32 localOffset = 0, netOffset = 0, suffixOffset = 0;
    if (!r.U32(start + 16, &localOffset) || !r.U32(start + 20, &netOffset) || !r.U32(start + 24, &suffixOffset))
        return false;
    quint32 localUnicode = 0, suffixUnicode = 0;
    const bool hasUnicode = headerSize >= 0x24 && r.U32(start + 28, &localUnicode) && r.U32(start + 32, &suffixUnicode);

    if (flags & 0x1) {
        QString local;
        QByteArray ansi;
        if (hasUnicode && localUnicode && r.Utf16Z(start + localUnicode, end, &local)) {
            link->LocalBasePathQuality = QualityOf(local, false);
        } else if (localOffset && r.AnsiZ(start + localOffset, end, &ansi)) {
            local = DecodeAnsi(ansi, codePage);
            link->LocalBasePathQuality = QualityOf(local, true);
        } else {
            return false;
        }
        link->LocalBasePath = Clip(local);
    }
    if (flags & 0x2) {
        const qsizetype net = start + netOffset;
        quint32 netSize = 0, netNameOffset = 0;
        if (!netOffset || !r.U32(net, &netSize) || netSize < 0x14 || net + qsizetype(netSize) > end ||
            !r.U32(net + 8, &netNameOffset))
            return false;
        QByteArray name;
        QString netName;
        quint32 netNameUnicode = 0;
        if (netNameOffset > 0x14 && r.U32(net + 20, &netNameUnicode) && netNameUnicode &&
            r.Utf16Z(net + netNameUnicode, net + netSize, &netName)) {
            link->NetNameQuality = QualityOf(netName, false);
        } else if (r.AnsiZ(net + netNameOffset, net + netSize, &name)) {
            netName = DecodeAnsi(name, codePage);
            link->NetNameQuality = QualityOf(netName, true);
        } else {
            return false;
        }
        link->NetName = Clip(netName);
    }
    QString suffix;
    QByteArray ansiSuffix;
    if (hasUnicode && suffixUnicode && r.Utf16Z(start + suffixUnicode, end, &suffix)) {
        link->CommonPathSuffixQuality = QualityOf(suffix, false);
    } else if (suffixOffset && r.AnsiZ(start + suffixOffset, end, &ansiSuffix)) {
        suffix = DecodeAnsi(ansiSuffix, codePage);
        link->CommonPathSuffixQuality = QualityOf(suffix, true);
    }
    link->CommonPathSuffix = Clip(suffix);
    return true;
}

} // namespace

namespace {

struct TTargetForm {
    QString Path;
    TLinkTextQuality Quality = TLinkTextQuality::Exact;
};

TTargetForm ChosenTarget(const TShellLink &l)
{
    TTargetForm forms[4];
    if (!l.NetName.isEmpty()) {
        forms[0].Path = l.NetName;
        if (!l.CommonPathSuffix.isEmpty() && !forms[0].Path.endsWith(u'\\'))
            forms[0].Path += u'\\';
        forms[0].Path += l.CommonPathSuffix;
        forms[0].Quality = Worse(l.NetNameQuality, l.CommonPathSuffixQuality);
    }
    if (!l.LocalBasePath.isEmpty())
        forms[1] = {l.LocalBasePath + l.CommonPathSuffix, Worse(l.LocalBasePathQuality, l.CommonPathSuffixQuality)};
    forms[2] = {l.IdListPath, l.IdListQuality};
    forms[3] = {l.EnvironmentTarget, l.EnvironmentTargetQuality};
    const TTargetForm *best = nullptr;
    for (const TTargetForm &f : forms)
        if (!f.Path.isEmpty() && (!best || f.Quality > best->Quality))
            best = &f;
    return best ? TTargetForm{best->Path.left(kMaxText), best->Quality} : TTargetForm{};
}

} // namespace

QString TShellLink::TargetPath() const { return ChosenTarget(*this).Path; }

TLinkTextQuality TShellLink::TargetQuality() const { return ChosenTarget(*this).Quality; }

namespace LnkReader {

bool Parse(const QByteArray &data, TShellLink *out, int ansiCodePage)
{
    const TReader r(data);
    quint32 headerSize = 0;
    if (!r.U32(0, &headerSize) || headerSize != 0x4C || !r.Has(0, 0x4C)) return false;
    if (data.mid(4, 16) != QByteArray(reinterpret_cast<const char *>(kLinkClsid), 16)) return false;
    TShellLink link;
    quint32 iconIndex = 0;
    r.U32(20, &link.LinkFlags);
    r.U32(24, &link.FileAttributes);
    r.U32(56, &iconIndex);
    r.U32(60, &link.ShowCommand);
    link.IconIndex = int(qint32(iconIndex));
    qsizetype p = 0x4C;

    if (link.LinkFlags & HasLinkTargetIDList) {
        quint32 idListSize = 0;
        if (!r.U16(p, &idListSize) || !r.Has(p + 2, idListSize)) return false;
        link.IdListPath = Clip(PathOfIdList(r, p + 2, p + 2 + idListSize, ansiCodePage, &link.IdListQuality));
        p += 2 + idListSize;
    }
    if ((link.LinkFlags & HasLinkInfo)) {
        quint32 infoSize = 0;
        if (!r.U32(p, &infoSize) || !r.Has(p, infoSize) || infoSize < 4) return false;
        if (!(link.LinkFlags & ForceNoLinkInfo) && !ReadLinkInfo(r, p, &link, ansiCodePage)) return false;
        p += infoSize;
    }
    const bool unicode = link.LinkFlags & IsUnicode;
    const struct { quint32 flag; QString *field; } strings[] = {
        {HasName, &link.Name},
        {HasRelativePath, &link.RelativePath},
        {HasWorkingDir, &link.WorkingDir},
        {HasArguments, &link.Arguments},
        {HasIconLocation, &link.IconLocation},
    };
    for (const auto &s : strings) {
        if (!(link.LinkFlags & s.flag)) continue;
        if (!ReadStringData(r, &p, unicode, ansiCodePage, s.field)) return false;
        *s.field = Clip(*s.field);
    }
    // Extra data: only the environment-variable block matters here; a damaged tail is ignored.
    for (int guard = 0; guard < 64; ++guard) {
        quint32 blockSize = 0, signature = 0;
        if (!r.U32(p, &blockSize) || blockSize < 8 || !r.Has(p, blockSize) || !r.U32(p + 4, &signature)) break;
        if (signature == 0xA0000001 && blockSize >= 0x314) {
            QString target;
            QByteArray ansi;
            if (r.Utf16Z(p + 8 + 260, p + 8 + 260 + 520, &target) && !target.isEmpty()) {
                link.EnvironmentTarget = Clip(target);
                link.EnvironmentTargetQuality = QualityOf(target, false);
            } else if (r.AnsiZ(p + 8, p + 8 + 260, &ansi)) {
                link.EnvironmentTarget = Clip(DecodeAnsi(ansi, ansiCodePage));
                link.EnvironmentTargetQuality = QualityOf(link.EnvironmentTarget, true);
            }
        }
        p += blockSize;
    }
    *out = link;
    return true;
}

bool ReadFile(const QString &hostPath, TShellLink *link, int ansiCodePage)
{
    qint64 size = 0;
    const int fd = HostFiles::OpenRegularFile(hostPath, MaxFileSize, &size);
    if (fd < 0)
        return false;
    // The file may grow while it is read: never past the limit.
    QByteArray data(MaxFileSize + 1, Qt::Uninitialized);
    qsizetype done = 0;
    bool ok = true;
    while (done < data.size()) {
        const ssize_t n = ::read(fd, data.data() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        done += n;
    }
    ok = ok && done <= MaxFileSize;
    data.truncate(done);
    ::close(fd);
    return ok && Parse(data, link, ansiCodePage);
}

bool ReadShellLinkInfo(const QString &hostPath, TShellLinkInfo &info, int ansiCodePage)
{
    TShellLink link;
    if (!ReadFile(hostPath, &link, ansiCodePage))
        return false;
    const QString target = link.TargetPath();
    const QString unquoted = QString(target).remove(u'"');
    if (unquoted.trimmed().isEmpty())
        return false;
    info.Target = unquoted;
    info.TargetUncertain = link.TargetQuality() == TLinkTextQuality::Lossy;
    info.WorkingDirectory = link.WorkingDir;
    info.Arguments = link.Arguments;
    info.Description = link.Name;
    info.IconLocation = link.IconLocation.isEmpty() ? target : link.IconLocation;
    info.IconIndex = link.IconIndex;
    return true;
}

} // namespace LnkReader
