// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the CHM writer, after the publicly documented ITSF/ITSP/PMGL/PMGI layout.
#include "help/ChmWriter.h"

#include "platform/DurableFile.h"

#include <algorithm>

namespace {

constexpr quint32 ChunkSize = 0x1000;
constexpr quint32 ItsfLength = 0x60;
constexpr quint32 HeaderSection0Length = 0x18;
constexpr quint32 ItspLength = 0x54;
constexpr quint32 PmglHeader = 0x14;
constexpr quint32 PmgiHeader = 0x08;
constexpr quint32 NoChunk = 0xFFFFFFFF;
constexpr int QuickRefSpacing = 5;  // 1 + (1 << density), density 2

void Put32(QByteArray &b, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}
void Put16(QByteArray &b, quint16 v)
{
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
}
void Put64(QByteArray &b, quint64 v)
{
    Put32(b, quint32(v));
    Put32(b, quint32(v >> 32));
}
void PutGuid(QByteArray &b, quint32 d1, quint16 d2, quint16 d3, const char (&d4)[9])
{
    Put32(b, d1);
    Put16(b, d2);
    Put16(b, d3);
    b.append(d4, 8);
}
// Variable-length integer: 7 bits a byte, most significant first, high bit set on all but the last.
void PutEncInt(QByteArray &b, quint64 v)
{
    QByteArray bytes;
    bytes.prepend(char(v & 0x7F));
    v >>= 7;
    while (v) {
        bytes.prepend(char(0x80 | (v & 0x7F)));
        v >>= 7;
    }
    b.append(bytes);
}

// The entries of one directory chunk and where every fifth starts.
struct TChunkEntries {
    QByteArray Entries;
    QList<quint16> Starts;
    QByteArray FirstName;

    quint32 Tail(int extra) const  // quick reference and entry count, with `extra` more entries
    {
        const int count = int(Starts.size()) + extra;
        return quint32(2 + 2 * ((count - 1) / QuickRefSpacing));
    }
    bool Fits(quint32 header, const QByteArray &entry) const
    {
        return header + quint32(Entries.size() + entry.size()) + Tail(1) <= ChunkSize;
    }
    void Append(const QByteArray &name, const QByteArray &entry)
    {
        if (Starts.isEmpty())
            FirstName = name;
        Starts.append(quint16(Entries.size()));
        Entries.append(entry);
    }
};

// Header, entries, free space, then the quick reference written backwards and the entry count.
QByteArray Chunk(const QByteArray &header, quint32 headerLength, const TChunkEntries &c)
{
    QByteArray chunk = header;
    chunk.append(c.Entries);
    const quint32 tail = c.Tail(0);
    chunk.append(QByteArray(qsizetype(ChunkSize - tail) - chunk.size(), '\0'));
    QList<quint16> quickRef;
    for (qsizetype i = QuickRefSpacing; i < c.Starts.size(); i += QuickRefSpacing)
        quickRef.append(c.Starts.at(i));
    for (qsizetype i = quickRef.size() - 1; i >= 0; --i)
        Put16(chunk, quickRef.at(i));
    Put16(chunk, quint16(c.Starts.size()));
    Q_ASSERT(quint32(chunk.size()) == ChunkSize && headerLength + quint32(c.Entries.size()) + tail <= ChunkSize);
    return chunk;
}

QByteArray ListingHeader(const TChunkEntries &c, quint32 previous, quint32 next)
{
    QByteArray h("PMGL", 4);
    Put32(h, ChunkSize - PmglHeader - quint32(c.Entries.size()));  // free space and quick reference
    Put32(h, 0);
    Put32(h, previous);
    Put32(h, next);
    return h;
}

} // namespace

TChmWriter &TChmWriter::Add(const QString &path, const QByteArray &data)
{
    FFiles.append({path, data});
    return *this;
}

TChmWriter &TChmWriter::System(const QString &defaultTopic, const QString &title, const QString &contentsFile)
{
    QByteArray s;
    Put32(s, 3);
    QList<QPair<quint16, QString>> entries;
    if (!contentsFile.isEmpty())
        entries.append({0, contentsFile});
    entries.append({2, defaultTopic});
    entries.append({3, title});
    for (const auto &[code, text] : entries) {
        const QByteArray bytes = text.toUtf8() + '\0';
        Put16(s, code);
        Put16(s, quint16(bytes.size()));
        s.append(bytes);
    }
    return Add(QStringLiteral("/#SYSTEM"), s);
}

TChmWriter &TChmWriter::ContextMap(const QMap<quint32, QString> &contexts)
{
    QByteArray strings(1, '\0');
    QByteArray pairs;
    for (auto it = contexts.begin(); it != contexts.end(); ++it) {
        Put32(pairs, it.key());
        Put32(pairs, quint32(strings.size()));
        strings.append(it.value().toUtf8() + '\0');
    }
    QByteArray ivb;
    Put32(ivb, quint32(pairs.size()));
    ivb.append(pairs);
    Add(QStringLiteral("/#IVB"), ivb);
    return Add(QStringLiteral("/#STRINGS"), strings);
}

QByteArray TChmWriter::Build() const
{
    // Content section 0 holds the files back to back; the listing names each by offset and length.
    QList<QPair<QString, QByteArray>> files = FFiles;
    std::stable_sort(files.begin(), files.end(), [](const auto &a, const auto &b) {
        return a.first.toUtf8().toLower() < b.first.toUtf8().toLower();
    });
    QByteArray content;
    QList<TChunkEntries> listings(1);
    for (const auto &[path, data] : files) {
        const QByteArray name = path.toUtf8();
        QByteArray entry;
        PutEncInt(entry, quint64(name.size()));
        entry.append(name);
        PutEncInt(entry, 0);  // content section 0: stored, not compressed
        PutEncInt(entry, quint64(content.size()));
        PutEncInt(entry, quint64(data.size()));
        if (!listings.last().Fits(PmglHeader, entry)) {
            if (listings.last().Starts.isEmpty())
                return {};
            listings.append(TChunkEntries());
            if (!listings.last().Fits(PmglHeader, entry))
                return {};
        }
        listings.last().Append(name, entry);
        content.append(data);
    }

    // More than one listing chunk: an index chunk after them names the first entry of each.
    const quint32 listingCount = quint32(listings.size());
    const bool indexed = listingCount > 1;
    TChunkEntries index;
    for (quint32 i = 0; indexed && i < listingCount; ++i) {
        QByteArray entry;
        PutEncInt(entry, quint64(listings.at(i).FirstName.size()));
        entry.append(listings.at(i).FirstName);
        PutEncInt(entry, i);
        if (!index.Fits(PmgiHeader, entry))
            return {};
        index.Append(listings.at(i).FirstName, entry);
    }

    QByteArray directory;
    directory.append("ITSP", 4);
    Put32(directory, 1);
    Put32(directory, ItspLength);
    Put32(directory, 0x0A);
    Put32(directory, ChunkSize);
    Put32(directory, 2);                            // quickref density
    Put32(directory, indexed ? 2 : 1);              // index depth
    Put32(directory, indexed ? listingCount : NoChunk);  // root index chunk
    Put32(directory, 0);                            // first listing chunk
    Put32(directory, listingCount - 1);             // last listing chunk
    Put32(directory, NoChunk);
    Put32(directory, listingCount + (indexed ? 1 : 0));  // chunks in all
    Put32(directory, 0x0409);
    PutGuid(directory, 0x5D02926A, 0x212E, 0x11D0, "\x9D\xF9\x00\xA0\xC9\x22\xE6\xEC");
    Put32(directory, ItspLength);
    Put32(directory, NoChunk);
    Put32(directory, NoChunk);
    Put32(directory, NoChunk);
    for (quint32 i = 0; i < listingCount; ++i) {
        const quint32 previous = i == 0 ? NoChunk : i - 1;
        const quint32 next = i + 1 == listingCount ? NoChunk : i + 1;
        directory.append(Chunk(ListingHeader(listings.at(i), previous, next), PmglHeader, listings.at(i)));
    }
    if (indexed) {
        QByteArray header("PMGI", 4);
        Put32(header, ChunkSize - PmgiHeader - quint32(index.Entries.size()));
        directory.append(Chunk(header, PmgiHeader, index));
    }

    const quint64 directoryOffset = ItsfLength + HeaderSection0Length;
    const quint64 contentOffset = directoryOffset + quint64(directory.size());
    const quint64 fileSize = contentOffset + quint64(content.size());

    QByteArray file;
    file.append("ITSF", 4);
    Put32(file, 3);
    Put32(file, ItsfLength);
    Put32(file, 1);
    Put32(file, 0);  // time stamp
    Put32(file, 0x0409);
    PutGuid(file, 0x7C01FD10, 0x7BAA, 0x11D0, "\x9E\x0C\x00\xA0\xC9\x22\xE6\xEC");
    PutGuid(file, 0x7C01FD11, 0x7BAA, 0x11D0, "\x9E\x0C\x00\xA0\xC9\x22\xE6\xEC");
    Put64(file, ItsfLength);
    Put64(file, HeaderSection0Length);
    Put64(file, directoryOffset);
    Put64(file, quint64(directory.size()));
    Put64(file, contentOffset);

    Put32(file, 0x01FE);
    Put32(file, 0);
    Put64(file, fileSize);
    Put32(file, 0);
    Put32(file, 0);

    file.append(directory);
    file.append(content);
    return file;
}

bool TChmWriter::Save(const QString &hostPath, QString *error) const
{
    const QByteArray bytes = Build();
    if (bytes.isEmpty()) {
        if (error)
            *error = QStringLiteral("the files do not fit a CHM directory: too many, or a name too long");
        return false;
    }
    return DurableFile::Write(hostPath, bytes, error);
}
