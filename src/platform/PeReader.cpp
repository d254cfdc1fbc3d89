// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: PE version-resource reading (Microsoft's PE/COFF format and VS_VERSIONINFO); every offset is checked.
#include "platform/PeReader.h"

#include "platform/WinFiles.h"

#include <QFile>

#include <unistd.h>

namespace {

constexpr qint64 kMaxImage = 256 * 1024 * 1024;
constexpr quint32 RT_VERSION = 16;
constexpr int kMaxDepth = 6;

class TBytes
{
public:
    explicit TBytes(const QByteArray &data) : FData(data) {}
    qsizetype Size() const { return FData.size(); }
    bool Has(qint64 offset, qint64 count) const
    {
        return offset >= 0 && count >= 0 && offset <= FData.size() && count <= FData.size() - offset;
    }
    bool U16(qint64 offset, quint32 *v) const
    {
        if (!Has(offset, 2)) return false;
        *v = B(offset) | (B(offset + 1) << 8);
        return true;
    }
    bool U32(qint64 offset, quint32 *v) const
    {
        if (!Has(offset, 4)) return false;
        *v = B(offset) | (B(offset + 1) << 8) | (B(offset + 2) << 16) | (quint32(B(offset + 3)) << 24);
        return true;
    }
    quint32 B(qint64 offset) const { return quint8(FData.at(offset)); }
    const QByteArray &Data() const { return FData; }

private:
    const QByteArray &FData;
};

struct TSection {
    quint32 VirtualAddress = 0, VirtualSize = 0, RawSize = 0, RawOffset = 0;
};

// File offset of an RVA, or -1 when no section's raw data holds [rva, rva + size).
qint64 RvaToOffset(const QList<TSection> &sections, quint32 rva, quint32 size)
{
    for (const TSection &s : sections) {
        const quint64 span = std::max(s.VirtualSize, s.RawSize);
        if (rva >= s.VirtualAddress && quint64(rva) + size <= quint64(s.VirtualAddress) + span) {
            const quint64 delta = rva - s.VirtualAddress;
            if (delta + size > s.RawSize) return -1;
            return qint64(s.RawOffset) + qint64(delta);
        }
    }
    return -1;
}

// The first data entry below a resource directory entry, following the first entry of each level.
bool FirstLeaf(const TBytes &b, qint64 rsrc, qint64 rsrcSize, quint32 entryTarget, int depth, qint64 *leaf)
{
    if (depth > kMaxDepth) return false;
    if (!(entryTarget & 0x80000000u)) {
        if (entryTarget + 16ull > quint64(rsrcSize)) return false;
        *leaf = rsrc + entryTarget;
        return true;
    }
    const qint64 dir = rsrc + (entryTarget & 0x7FFFFFFFu);
    if ((entryTarget & 0x7FFFFFFFu) + 16ull > quint64(rsrcSize)) return false;
    quint32 named = 0, ids = 0;
    if (!b.U16(dir + 12, &named) || !b.U16(dir + 14, &ids) || named + ids == 0) return false;
    quint32 target = 0;
    if (!b.U32(dir + 16 + 4, &target) || dir + 16 + 8 > rsrc + rsrcSize) return false;
    return FirstLeaf(b, rsrc, rsrcSize, target, depth + 1, leaf);
}

QString KeyAt(const TBytes &b, qint64 offset, qint64 end, qint64 *after)
{
    QString key;
    qint64 p = offset;
    while (p + 1 < end) {
        quint32 c = 0;
        b.U16(p, &c);
        p += 2;
        if (c == 0) {
            *after = p;
            return key;
        }
        key += QChar(char16_t(c));
    }
    *after = -1;
    return key;
}

qint64 Align4(qint64 offset, qint64 base) { return base + ((offset - base + 3) & ~qint64(3)); }

// One block of VS_VERSIONINFO: wLength, wValueLength, wType, szKey, padding, Value, padding, children.
struct TBlock {
    qint64 Start = 0, End = 0;
    quint32 ValueLength = 0, Type = 0;
    QString Key;
    qint64 Value = 0;       // offset of the value
    qint64 Children = 0;    // offset of the first child
};

bool ReadBlock(const TBytes &b, qint64 start, qint64 limit, qint64 base, TBlock *block)
{
    quint32 length = 0;
    if (!b.U16(start, &length) || length < 6 || start + length > limit) return false;
    block->Start = start;
    block->End = start + length;
    b.U16(start + 2, &block->ValueLength);
    b.U16(start + 4, &block->Type);
    qint64 after = -1;
    block->Key = KeyAt(b, start + 6, block->End, &after);
    if (after < 0) return false;
    block->Value = std::min(Align4(after, base), block->End);
    const qint64 valueBytes = block->Type == 1 ? qint64(block->ValueLength) * 2 : qint64(block->ValueLength);
    block->Children = std::min(Align4(block->Value + std::min<qint64>(valueBytes, block->End - block->Value), base),
                               block->End);
    return true;
}

template <class F>
void ForEachChild(const TBytes &b, const TBlock &parent, qint64 base, F visit)
{
    qint64 p = parent.Children;
    for (int guard = 0; guard < 4096 && p + 6 <= parent.End; ++guard) {
        TBlock child;
        if (!ReadBlock(b, p, parent.End, base, &child)) return;
        visit(child);
        const qint64 next = Align4(child.End, base);
        if (next <= p) return;
        p = next;
    }
}

QString TextValue(const TBytes &b, const TBlock &block)
{
    QString text;
    for (qint64 p = block.Value; p + 1 < block.End; p += 2) {
        quint32 c = 0;
        b.U16(p, &c);
        if (c == 0) break;
        text += QChar(char16_t(c));
    }
    return text;
}

} // namespace

QString TVersionInfo::Value(const QString &tableKey, const QString &name) const
{
    for (const TStringTable &table : StringTables) {
        if (table.Key.compare(tableKey, Qt::CaseInsensitive) != 0) continue;
        for (const auto &s : table.Strings)
            if (s.first.compare(name, Qt::CaseInsensitive) == 0) return s.second;
    }
    return {};
}

QString TVersionInfo::TranslatedValue(const QString &name) const
{
    if (Translations.isEmpty()) return {};
    const auto &t = Translations.first();
    return Value(QStringLiteral("%1%2").arg(t.first, 4, 16, QLatin1Char('0')).arg(t.second, 4, 16, QLatin1Char('0')),
                 name);
}

namespace PeReader {

bool ParseVersionBlock(const QByteArray &data, TVersionInfo *out)
{
    const TBytes b(data);
    TBlock root;
    if (!ReadBlock(b, 0, data.size(), 0, &root) || root.Key != u"VS_VERSION_INFO") return false;
    TVersionInfo info;
    quint32 signature = 0;
    if (root.ValueLength >= 52 && b.U32(root.Value, &signature) && signature == 0xFEEF04BD && b.Has(root.Value, 52)) {
        quint32 fms = 0, fls = 0, pms = 0, pls = 0;
        b.U32(root.Value + 8, &fms);
        b.U32(root.Value + 12, &fls);
        b.U32(root.Value + 16, &pms);
        b.U32(root.Value + 20, &pls);
        info.HasFixedInfo = true;
        info.FileVersion[0] = quint16(fms >> 16), info.FileVersion[1] = quint16(fms);
        info.FileVersion[2] = quint16(fls >> 16), info.FileVersion[3] = quint16(fls);
        info.ProductVersion[0] = quint16(pms >> 16), info.ProductVersion[1] = quint16(pms);
        info.ProductVersion[2] = quint16(pls >> 16), info.ProductVersion[3] = quint16(pls);
    }
    ForEachChild(b, root, 0, [&](const TBlock &child) {
        if (child.Key == u"StringFileInfo") {
            ForEachChild(b, child, 0, [&](const TBlock &table) {
                TVersionInfo::TStringTable t;
                t.Key = table.Key;
                ForEachChild(b, table, 0, [&](const TBlock &s) { t.Strings.append({s.Key, TextValue(b, s)}); });
                info.StringTables.append(t);
            });
        } else if (child.Key == u"VarFileInfo") {
            ForEachChild(b, child, 0, [&](const TBlock &var) {
                if (var.Key != u"Translation") return;
                const qint64 end = std::min(var.End, var.Value + qint64(var.ValueLength));
                for (qint64 p = var.Value; p + 4 <= end; p += 4) {
                    quint32 lang = 0, cp = 0;
                    b.U16(p, &lang);
                    b.U16(p + 2, &cp);
                    info.Translations.append({quint16(lang), quint16(cp)});
                }
            });
        }
    });
    *out = info;
    return true;
}

bool ReadVersionInfo(const QByteArray &image, TVersionInfo *info)
{
    const TBytes b(image);
    if (image.size() < 0x40 || image.at(0) != 'M' || image.at(1) != 'Z') return false;
    quint32 pe = 0;
    if (!b.U32(0x3C, &pe) || !b.Has(pe, 24) || image.mid(pe, 4) != QByteArray("PE\0\0", 4)) return false;
    quint32 sectionCount = 0, optionalSize = 0, magic = 0;
    b.U16(pe + 6, &sectionCount);
    b.U16(pe + 20, &optionalSize);
    const qint64 opt = qint64(pe) + 24;
    if (!b.U16(opt, &magic)) return false;
    qint64 dirs = 0, countAt = 0;
    if (magic == 0x10B) {
        countAt = opt + 92, dirs = opt + 96;
    } else if (magic == 0x20B) {
        countAt = opt + 108, dirs = opt + 112;
    } else {
        return false;
    }
    quint32 dirCount = 0;
    if (!b.U32(countAt, &dirCount) || dirCount < 3 || dirs + 24 > opt + optionalSize) return false;
    quint32 rsrcRva = 0, rsrcSize = 0;
    if (!b.U32(dirs + 16, &rsrcRva) || !b.U32(dirs + 20, &rsrcSize) || rsrcRva == 0 || rsrcSize < 16) return false;

    QList<TSection> sections;
    const qint64 table = opt + optionalSize;
    for (quint32 i = 0; i < sectionCount && i < 96; ++i) {
        const qint64 s = table + qint64(i) * 40;
        TSection sec;
        if (!b.U32(s + 8, &sec.VirtualSize) || !b.U32(s + 12, &sec.VirtualAddress) || !b.U32(s + 16, &sec.RawSize) ||
            !b.U32(s + 20, &sec.RawOffset))
            return false;
        if (!b.Has(sec.RawOffset, sec.RawSize)) sec.RawSize = quint32(std::max<qint64>(0, image.size() - sec.RawOffset));
        sections.append(sec);
    }
    // The directory's size may claim more than the section holds; read what is there.
    qint64 rsrc = RvaToOffset(sections, rsrcRva, 16);
    if (rsrc < 0) return false;
    const qint64 rsrcSpan = std::min<qint64>(rsrcSize, image.size() - rsrc);

    quint32 named = 0, ids = 0;
    if (!b.U16(rsrc + 12, &named) || !b.U16(rsrc + 14, &ids)) return false;
    for (quint32 i = 0; i < named + ids; ++i) {
        const qint64 e = rsrc + 16 + qint64(i) * 8;
        quint32 id = 0, target = 0;
        if (e + 8 > rsrc + rsrcSpan || !b.U32(e, &id) || !b.U32(e + 4, &target)) return false;
        if (id != RT_VERSION) continue;
        qint64 leaf = 0;
        if (!FirstLeaf(b, rsrc, rsrcSpan, target, 1, &leaf)) return false;
        quint32 dataRva = 0, dataSize = 0;
        if (!b.U32(leaf, &dataRva) || !b.U32(leaf + 4, &dataSize)) return false;
        const qint64 data = RvaToOffset(sections, dataRva, dataSize);
        if (data < 0 || !b.Has(data, dataSize)) return false;
        return ParseVersionBlock(image.mid(data, dataSize), info);
    }
    return false;
}

bool ReadVersionInfoFile(const QString &hostPath, TVersionInfo *info)
{
    // The file lists ask this of every file they show: most are no image, and two bytes say so.
    // Only a regular file is read (opening a FIFO would wait for a writer).
    qint64 size = 0;
    const int fd = HostFiles::OpenRegularFile(hostPath, kMaxImage, &size);
    if (fd < 0) return false;
    char magic[2];
    if (size < 0x40 || ::read(fd, magic, 2) != 2 || magic[0] != 'M' || magic[1] != 'Z' || ::lseek(fd, 0, SEEK_SET) != 0) {
        ::close(fd);
        return false;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return ReadVersionInfo(file.readAll(), info);
}

} // namespace PeReader
