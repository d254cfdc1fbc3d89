// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the checks of a help file's layout (the publicly documented ITSF/ITSP/PMGL/PMGI and LZXC structures).
#include "help/ChmLayout.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <vector>

namespace Chm {

quint16 Word(const QByteArray &data, qsizetype at)
{
    const auto *p = reinterpret_cast<const uchar *>(data.constData()) + at;
    return quint16(p[0] | p[1] << 8);
}

quint32 Dword(const QByteArray &data, qsizetype at)
{
    const auto *p = reinterpret_cast<const uchar *>(data.constData()) + at;
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

quint64 Qword(const QByteArray &data, qsizetype at)
{
    return quint64(Dword(data, at)) | quint64(Dword(data, at + 4)) << 32;
}

namespace {

constexpr quint64 ChunkHeaderLength = 0x14;  // "PMGL" and its four numbers; "PMGI" has fewer
constexpr quint64 MinWindow = 1u << 15, MaxWindow = 1u << 21;
const QByteArray ControlDataName = "::DataSpace/Storage/MSCompressed/ControlData";
const QByteArray ResetTableName =
    "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable";
const QByteArray ContentName = "::DataSpace/Storage/MSCompressed/Content";
// libchm reads a compressed block into a buffer this much longer than the block it gives.
constexpr quint64 CompressedBlockSlack = 6144;

// The special object a name is to libchm, which compares names as C strings ignoring ASCII case:
// "::DataSpace/.../content\0x" is the content too.
QByteArray SpecialName(const QByteArray &name)
{
    const qsizetype nul = name.indexOf('\0');
    const QByteArray lower = (nul < 0 ? name : name.left(nul)).toLower();
    for (const QByteArray &special : {ControlDataName, ResetTableName, ContentName})
        if (lower == special.toLower())
            return special;
    return {};
}

struct TEntry {
    quint64 Space = 0, Offset = 0, Length = 0;
};

// ENCINT: seven bits a byte, most significant first, the high bit set on all but the last.
bool ReadEncInt(const QByteArray &chunk, qsizetype &pos, qsizetype end, quint64 *value)
{
    quint64 v = 0;
    for (int n = 0; n < 9; ++n) {
        if (pos >= end)
            return false;
        const uchar b = uchar(chunk[pos++]);
        v = v << 7 | (b & 0x7F);
        if (!(b & 0x80)) {
            *value = v;
            return true;
        }
    }
    return false;
}

// a + b <= limit, without overflow.
bool Fits(quint64 a, quint64 b, quint64 limit)
{
    return a <= limit && b <= limit - a;
}

class TChecker
{
public:
    explicit TChecker(QFile &file) : FFile(file), FFileSize(quint64(file.size())) {}
    bool Check(TLayout *layout);

private:
    QByteArray At(quint64 offset, quint64 length);
    QByteArray Chunk(qint64 index) { return At(FChunksOffset + quint64(index) * FChunkSize, FChunkSize); }
    bool ReadListings();
    bool ReadListing(const QByteArray &chunk);
    bool CheckIndex(qint64 root);
    bool CheckCompressed();

    QFile &FFile;
    quint64 FFileSize;
    quint64 FChunksOffset = 0, FChunkSize = 0, FChunkCount = 0, FContentOffset = 0;
    qint64 FFirstListing = 0;
    QHash<QByteArray, TEntry> FSpecial;  // the compressed section's own objects
    bool FSpecialTwice = false;          // one of them listed twice: which one libchm takes is unknown
    quint64 FCompressedEnd = 0;          // the end of the furthest object in the compressed section
};

QByteArray TChecker::At(quint64 offset, quint64 length)
{
    if (!Fits(offset, length, FFileSize) || !FFile.seek(qint64(offset)))
        return {};
    const QByteArray data = FFile.read(qint64(length));
    return quint64(data.size()) == length ? data : QByteArray();
}

bool TChecker::Check(TLayout *layout)
{
    const QByteArray itsf = At(0, 0x58);
    if (itsf.isEmpty() || !itsf.startsWith("ITSF"))
        return false;
    const quint32 version = Dword(itsf, 0x04);
    const quint64 dirOffset = Qword(itsf, 0x48);
    const quint64 dirLength = Qword(itsf, 0x50);
    if (!Fits(dirOffset, dirLength, FFileSize))
        return false;
    if (version >= 3) {
        const QByteArray v3 = At(0x58, 8);
        if (v3.isEmpty())
            return false;
        FContentOffset = Qword(v3, 0);
    } else {
        FContentOffset = dirOffset + dirLength;
    }
    if (FContentOffset > FFileSize)
        return false;

    const QByteArray itsp = At(dirOffset, 0x30);
    if (itsp.isEmpty() || !itsp.startsWith("ITSP"))
        return false;
    const quint64 headerLength = Dword(itsp, 0x08);
    FChunkSize = Dword(itsp, 0x10);
    const qint32 indexRoot = qint32(Dword(itsp, 0x1C));
    FFirstListing = qint32(Dword(itsp, 0x20));
    FChunkCount = Dword(itsp, 0x2C);
    // Every chunk lies inside the directory, and holds at least a chunk header.
    if (headerLength > dirLength || FChunkSize < ChunkHeaderLength || FChunkSize > dirLength - headerLength
        || FChunkCount > (dirLength - headerLength) / FChunkSize)
        return false;
    FChunksOffset = dirOffset + headerLength;
    if (FFirstListing < 0 || quint64(FFirstListing) >= FChunkCount || indexRoot < -1
        || (indexRoot >= 0 && quint64(indexRoot) >= FChunkCount))
        return false;
    if (!ReadListings() || (indexRoot >= 0 && !CheckIndex(indexRoot)) || !CheckCompressed())
        return false;
    layout->DirectoryLength = qint64(dirLength);
    return true;
}

// The chain of listing chunks from the first: each inside the directory, none twice.
bool TChecker::ReadListings()
{
    std::vector<bool> seen(FChunkCount);
    for (qint64 index = FFirstListing; index != -1;) {
        if (index < 0 || quint64(index) >= FChunkCount || seen[index])
            return false;
        seen[index] = true;
        const QByteArray chunk = Chunk(index);
        if (chunk.isEmpty() || !chunk.startsWith("PMGL") || !ReadListing(chunk))
            return false;
        index = qint32(Dword(chunk, 0x10));
    }
    return true;
}

// One listing chunk's entries: name, section, offset and length.
bool TChecker::ReadListing(const QByteArray &chunk)
{
    const quint64 freeSpace = Dword(chunk, 0x04);
    if (freeSpace > FChunkSize - ChunkHeaderLength)
        return false;
    const qsizetype end = qsizetype(FChunkSize - freeSpace);
    qsizetype pos = qsizetype(ChunkHeaderLength);
    while (pos < end) {
        quint64 nameLength = 0;
        TEntry e;
        if (!ReadEncInt(chunk, pos, end, &nameLength) || nameLength > quint64(end - pos))
            return false;
        const QByteArray name = chunk.mid(pos, qsizetype(nameLength));
        pos += qsizetype(nameLength);
        if (!ReadEncInt(chunk, pos, end, &e.Space) || !ReadEncInt(chunk, pos, end, &e.Offset)
            || !ReadEncInt(chunk, pos, end, &e.Length) || !Fits(e.Offset, e.Length, ~quint64(0)))
            return false;
        const QByteArray special = SpecialName(name);
        if (!special.isEmpty()) {
            FSpecialTwice = FSpecialTwice || FSpecial.contains(special);
            FSpecial.insert(special, e);
        }
        if (e.Space == 1)
            FCompressedEnd = qMax(FCompressedEnd, e.Offset + e.Length);
    }
    return true;
}

// The index tree below root: every chunk it names inside the directory, none reached twice.
bool TChecker::CheckIndex(qint64 root)
{
    std::vector<bool> seen(FChunkCount);
    std::vector<qint64> pending{root};
    while (!pending.empty()) {
        const qint64 index = pending.back();
        pending.pop_back();
        if (index < 0 || quint64(index) >= FChunkCount || seen[index])
            return false;
        seen[index] = true;
        const QByteArray chunk = Chunk(index);
        if (chunk.startsWith("PMGL"))
            continue;  // the tree's leaves are listing chunks
        if (!chunk.startsWith("PMGI"))
            return false;
        const quint64 freeSpace = Dword(chunk, 0x04);
        if (freeSpace > FChunkSize - 8)
            return false;
        const qsizetype end = qsizetype(FChunkSize - freeSpace);
        for (qsizetype pos = 8; pos < end;) {
            quint64 nameLength = 0, child = 0;
            if (!ReadEncInt(chunk, pos, end, &nameLength) || nameLength > quint64(end - pos))
                return false;
            pos += qsizetype(nameLength);
            if (!ReadEncInt(chunk, pos, end, &child) || child >= FChunkCount)
                return false;
            pending.push_back(qint64(child));
        }
    }
    return true;
}

// The compressed section: its control data and reset table in section 0, inside the file, with
// an LZX window of 2^15 to 2^21 bytes, a reset interval a multiple of half the window, some
// windows per reset, blocks no longer than the window, each compressed block no longer than libchm
// reads, every special object named once, and every compressed object inside the data the table
// covers.
bool TChecker::CheckCompressed()
{
    const int present = int(FSpecial.contains(ControlDataName)) + int(FSpecial.contains(ResetTableName))
                        + int(FSpecial.contains(ContentName));
    if (present == 0)
        return FCompressedEnd == 0;
    if (present < 3 || FSpecialTwice)
        return false;
    auto read = [this](const TEntry &e, quint64 maxLength) {
        if (e.Space != 0 || e.Length > maxLength || !Fits(FContentOffset, e.Offset, FFileSize))
            return QByteArray();
        return At(FContentOffset + e.Offset, e.Length);
    };
    const QByteArray control = read(FSpecial.value(ControlDataName), 4096);
    if (control.size() < 0x18 || Dword(control, 0x04) != 0x43585A4C)  // "LZXC"
        return false;
    const quint32 version = Dword(control, 0x08);
    if (version != 1 && version != 2)
        return false;
    const quint64 unit = version == 2 ? 0x8000 : 1;  // the second version counts in 32 KiB frames
    const quint64 resetInterval = quint64(Dword(control, 0x0C)) * unit;
    const quint64 window = quint64(Dword(control, 0x10)) * unit;
    if (window < MinWindow || window > MaxWindow || (window & (window - 1)) != 0 || resetInterval == 0
        || resetInterval > 0xFFFFFFFFu || resetInterval % (window / 2) != 0)
        return false;
    // libchm takes the block number modulo the blocks between resets, counted in 32 bits: none
    // (no windows per reset, or a product that wraps to 0) would divide by zero.
    const quint32 windowsPerReset = Dword(control, 0x14);
    if (quint32(quint32(resetInterval / (window / 2)) * windowsPerReset) == 0)
        return false;

    const TEntry contentEntry = FSpecial.value(ContentName);
    if (contentEntry.Space != 0 || !Fits(FContentOffset, contentEntry.Offset, FFileSize)
        || !Fits(FContentOffset + contentEntry.Offset, contentEntry.Length, FFileSize))
        return false;
    const QByteArray table = read(FSpecial.value(ResetTableName), FFileSize);
    if (table.size() < 0x28)
        return false;
    const quint64 blocks = Dword(table, 0x04);
    const quint64 entrySize = Dword(table, 0x08);
    const quint64 tableOffset = Dword(table, 0x0C);
    const quint64 uncompressed = Qword(table, 0x10);
    const quint64 compressed = Qword(table, 0x18);
    const quint64 blockLength = Qword(table, 0x20);
    if (entrySize != 8 || blockLength == 0 || blockLength > window || compressed > contentEntry.Length
        || tableOffset > quint64(table.size()) || blocks > (quint64(table.size()) - tableOffset) / 8
        || uncompressed > blocks * blockLength || FCompressedEnd > uncompressed)
        return false;
    // Each block, the last up to the compressed length, fits the buffer libchm reads it into.
    quint64 previous = 0;
    for (quint64 i = 0; i <= blocks; ++i) {
        const quint64 at = i < blocks ? Qword(table, qsizetype(tableOffset + i * 8)) : compressed;
        if (at < previous || at > compressed || (i > 0 && at - previous > blockLength + CompressedBlockSlack))
            return false;
        previous = at;
    }
    return true;
}

}  // namespace

bool CheckLayout(const QString &hostPath, TLayout *layout)
{
    // A pipe or a device is no help file, and opening a pipe would wait for a writer.
    QFile file(hostPath);
    if (!QFileInfo(hostPath).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    TChecker checker(file);
    return checker.Check(layout);
}

}  // namespace Chm
